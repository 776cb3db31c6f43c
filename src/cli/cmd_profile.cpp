#include <iostream>

#include "cli/commands.hpp"

namespace cli {

void registerProfile(CLI::App& app) {
    auto* cmd = app.add_subcommand("profile", "Пикет, лист профиля и профиль в пакетном режиме");
    cmd->callback([] {
        std::cerr << "Команда profile ещё не готова\n";
        std::exit(1);
    });
}

}  // namespace cli

#include <iostream>

#include "cli/commands.hpp"

namespace cli {

void registerInfo(CLI::App& app) {
    auto* cmd = app.add_subcommand("info", "Сведения о чертеже DXF");
    cmd->callback([] {
        std::cerr << "Команда info ещё не готова\n";
        std::exit(1);
    });
}

void registerRoundtrip(CLI::App& app) {
    auto* cmd = app.add_subcommand("roundtrip", "Открыть и сохранить без изменений");
    cmd->callback([] {
        std::cerr << "Команда roundtrip ещё не готова\n";
        std::exit(1);
    });
}

}  // namespace cli

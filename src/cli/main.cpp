// kernavisto-cli: the program's operations in batch.
#include <clocale>
#include <iostream>

#include "cli/commands.hpp"

int main(int argc, char** argv) {
    CLI::App app{"Kernavisto — продольные профили трубопроводов по плану (пакетный режим)"};
    app.require_subcommand(1);
    int exitCode = 0;
    cli::registerInfo(app, exitCode);
    cli::registerRoundtrip(app, exitCode);
    cli::registerProfile(app, exitCode);
    cli::registerEntities(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }
    return exitCode;
}

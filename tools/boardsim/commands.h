// The boardsim subcommands. Each setup function adds its subcommand to the command line; when that subcommand
// is the one given, its exit status is stored in exit_status. main calls every setup function in turn.
#pragma once

namespace CLI {
class App;
}

namespace boardsim {

void SetupSmbiosCommand(CLI::App& app, int& exit_status);   // smbios_cli.cpp
void SetupCsrCommand(CLI::App& app, int& exit_status);      // csr_cli.cpp
void SetupTraceCommand(CLI::App& app, int& exit_status);    // trace_cli.cpp
void SetupPciCommand(CLI::App& app, int& exit_status);      // pci_cli.cpp
void SetupCaptureCommand(CLI::App& app, int& exit_status);  // capture_cli.cpp

}  // namespace boardsim

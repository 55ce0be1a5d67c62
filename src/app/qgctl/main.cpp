// qgctl: administration and inspection of a Quillgate home folder. Each
// command group lives in its own source file and registers itself here.
#include <CLI/CLI.hpp>

#include "app/qgctl/agent_command.h"
#include "app/qgctl/box_command.h"
#include "app/qgctl/classify_command.h"
#include "app/qgctl/command_context.h"
#include "app/qgctl/dns_command.h"
#include "app/qgctl/list_command.h"
#include "app/qgctl/log_command.h"
#include "app/qgctl/parse_command.h"
#include "app/qgctl/profile_command.h"
#include "app/qgctl/record_command.h"

int main(int argc, char** argv) {
  using namespace qg::qgctl;
  CommandContext context;
  CLI::App app{"qgctl: administration and inspection of a Quillgate home folder"};
  app.add_option("--home", context.home, "Program directory of the agent to work on")
      ->type_name("DIR");
  app.require_subcommand(1);
  addRecordCommands(app, context);
  addAgentCommands(app, context);
  addBoxCommands(app, context);
  addProfileCommands(app, context);
  addLogCommands(app, context);
  addDnsCommands(app, context);
  addListCommands(app, context);
  addParseCommand(app, context);
  addClassifyCommand(app, context);

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& done) {  // --help
    return app.exit(done);
  } catch (const CLI::ParseError& error) {
    app.exit(error);
    return kExitUsage;
  }
  return context.exitCode;
}

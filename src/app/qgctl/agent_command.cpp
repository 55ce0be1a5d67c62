#include "app/qgctl/agent_command.h"

#include <cstring>
#include <iostream>
#include <string>

#include "platform/home_folder.h"
#include "platform/instance_lock.h"
#include "platform/signals.h"

namespace qg::qgctl {

namespace {

int signalRunningAgent(const CommandContext& context, platform::AgentRequest request) {
  const std::string home =
      platform::chooseHomeFolder(context.home, platform::currentHomeEnvironment());
  if (home.empty()) {
    std::cerr << "qgctl: no home folder: give --home DIR or set QUILLGATE_HOME or HOME\n";
    return kExitFailure;
  }
  const auto pid = platform::runningAgentPid(home);
  if (!pid) {
    std::cerr << "qgctl: no agent is running for " << home << "\n";
    return kExitFailure;
  }
  if (const int error = platform::signalAgent(*pid, request); error != 0) {
    std::cerr << "qgctl: cannot signal the agent (pid " << *pid << "): " << std::strerror(error)
              << "\n";
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace

void addAgentCommands(CLI::App& app, CommandContext& context) {
  struct Command {
    const char* name;
    const char* help;
    platform::AgentRequest request;
  };
  static constexpr Command kCommands[] = {
      {"check", "Ask the running agent to check mail now", platform::AgentRequest::CheckNow},
      {"reload", "Ask the running agent to stop its workers, reload and restart them",
       platform::AgentRequest::Reconfigure},
      {"stop", "Ask the running agent for an orderly exit", platform::AgentRequest::Leave},
  };
  for (const Command& command : kCommands) {
    app.add_subcommand(command.name, command.help)->callback([&context, &command] {
      context.exitCode = signalRunningAgent(context, command.request);
    });
  }
}

}  // namespace qg::qgctl

// The seven workers quillgated runs, as the table the supervisor starts and
// stops. Built on the main thread before the supervisor starts; the entries
// run on the worker threads.
#pragma once

#include "app/quillgated/daemon_options.h"
#include "engine/history_file.h"
#include "engine/protocol_file.h"
#include "engine/supervisor.h"
#include "platform/remote_access.h"
#include "platform/sound_player.h"

namespace qg::quillgated {

// The platform layers the workers share. Built on the main thread; they must
// outlive the supervisor.
struct WorkerServices {
  platform::SoundPlayer& player;         // the sound thread
  platform::RemoteAccess& remoteAccess;  // the fetcher, the DNSBL and validation workers
  ProtocolWriter& protocol;              // the one protocol writer of the agent
  HistoryWriter& history;                // the one history writer of the agent
};

// The worker table in start order; options are copied.
WorkerTable makeWorkerTable(const DaemonOptions& options, const WorkerServices& services);

}  // namespace qg::quillgated

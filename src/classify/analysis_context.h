// What the analysis worker holds while it runs: one AnalysisContext per
// analysis thread, created when the thread starts and dropped when it ends;
// nothing in it is shared with another thread (files are met through their
// exclusive opens). Three lifetimes sit side by side:
//   - the worker's: the folders, the filter set and the blocklist cache;
//   - the current box's: replaced when another box becomes current;
//   - the current message's: replaced by each parse of a staging file.
#pragma once

#include <string>

#include "classify/filter_set.h"
#include "classify/own_addresses.h"
#include "classify/parsed_message.h"
#include "classify/rule_table.h"
#include "classify/zone_cache.h"
#include "engine/record_file.h"

namespace qg {

struct AnalysisContext {
  // Worker lifetime. The folders are copies of the path block's texts,
  // taken when the thread starts (they do not change while workers run).
  std::string programDir;
  std::string storeDir;
  std::string listDir;
  // Loaded from listDir and the known senders once at the start; learning
  // adds senders to it (and to "femail.dat") while the worker runs.
  FilterSet filters;
  // The blocklist answers of one zone at a time; the cache files in
  // programDir are the lasting copy.
  ZoneCache zoneCache;

  // Current box. boxNumber is -1 and the records empty while no box is
  // current; making a box current fills all five, and a failure to do so
  // leaves no box current.
  int boxNumber = -1;
  std::string boxDirectory;  // storeDir + "/BOX_nnnn"
  RecordFile boxSettings;    // the box's "box.log"
  RecordFile profile;        // the box's filter profile "f_nnnn.log"
  OwnAddresses own;          // from boxSettings, for the local hops and the To/Cc rule
  // The profile's rules as decide runs them; decide reads them again
  // whenever the profile's fields differ from those they were read from.
  RuleTable rules;

  // Current message: the staging file last parsed (parseStagingFile with
  // own). Valid until the next parse; its text buffer keeps its capacity.
  ParsedMessage message;
};

}  // namespace qg

// Making a box current in an analysis context from the files of the home
// folder without changing any of them: its settings, its own addresses and
// its filter profile; and, for tools, the filter lists read without
// replacing a damaged one. The analysis worker's box selection (which then
// looks up and stores the own mail exchanges) and qgctl classify both use
// it; the thread that owns the context.
#pragma once

#include <string>

#include "classify/analysis_context.h"

namespace qg {

enum class BoxContextLoad {
  Loaded,
  NoBox,          // no "box.log", or it does not load
  BadAddress,     // field 15 is not a valid address
  NoProfileName,  // field 8 is empty
  NoProfile,      // no "f_*.log" in listDir has that name
};

// Makes box boxNumber current in context: boxNumber, boxDirectory and
// boxSettings (its "box.log" under context.storeDir), own, and profile: the
// first "f_*.log" of context.listDir whose name (field 999) equals field 8
// without its leading blanks (kept without reading when context.profile
// already has that name). Own addresses come from fields 100.. once the
// worker has filled them, before that from ownAddressesFromFields. On
// failure no box is current (boxNumber -1, boxSettings empty).
BoxContextLoad loadBoxContext(AnalysisContext& context, int boxNumber);

// The own addresses of a box whose fields 100.. are not filled yet: field
// 15, then the non-empty ";"-separated parts of field 16, upper-cased, with
// no mail exchanges.
OwnAddresses ownAddressesFromFields(const RecordFile& box);

// Loads the filter lists of listDir, the address list "femail.dat"
// included, into filters without creating or replacing any file: a missing
// or damaged list reads as empty.
void readFilterLists(const std::string& listDir, FilterSet& filters);

}  // namespace qg

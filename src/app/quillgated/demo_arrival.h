// Tells when this run's sample messages have come all the way through: each
// one's staging slot in the demo box has reached an end (finished: delivered
// into IN or withheld; held; quarantined). A slot is known by the run's
// Message-ID on the first line behind its record line, where the upstream
// server put it. Only looks: the files are read without a lock, so the
// workers are never held up. Main thread.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace qg::quillgated {

struct DemoArrivalCounts {
  int delivered = 0;
  int withheld = 0;
  int held = 0;
  int quarantined = 0;
};

class DemoArrival {
 public:
  // boxDir: the demo box; messageIds: the Message-ID values of this run.
  DemoArrival(std::string boxDir, const std::vector<std::string>& messageIds);

  // Looks at the box's TMP folder again. True once every message of the run
  // has reached an end (and ever after).
  bool look();
  const DemoArrivalCounts& counts() const { return counts_; }

 private:
  std::string boxDir_;
  std::set<std::string> waiting_;  // "Message-ID: <...>" lines not yet seen at an end
  std::set<std::string> read_;     // slot files already read
  DemoArrivalCounts counts_;
};

}  // namespace qg::quillgated

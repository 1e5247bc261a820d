// What the registry should hold after a set of changes, and where it does not:
// the read-back after a repair and the file-association scan both use it.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "changes/Journal.h"
#include "changes/RegScript.h"
#include "platform/Platform.h"

namespace korvane {

struct Difference {
  enum class What {
    MissingKey,
    UnexpectedKey,
    MissingValue,
    UnexpectedValue,
    WrongValue,
    ServiceNotRunning,  // path = the service a repair started
    MissingFolder,      // path = the name a repair renamed a folder to
  };
  What what = What::MissingKey;
  Handle root = 0;
  std::wstring path;
  std::wstring name;  // values only; empty for the default value
  std::optional<RegData> expected;
  std::optional<RegData> actual;
};

class ExpectedRegistry {
 public:
  // Registry changes are taken in order; others are ignored.  A deleted key that
  // is created again must afterwards hold exactly what was written after the
  // deletion: anything else found below it is reported as unexpected.  Where the
  // deletion took only a per-user class key, the machine's copy may show through:
  // then only what was written afterwards is looked for.
  void apply(const Change& change);
  void applyAll(const Journal& journal);
  // What importing the script leaves, whatever the registry holds now: each
  // section creates its key and every key above it, a deletion empties the key
  // for good, and a value the script removes must be absent.
  void applyScript(const std::vector<RegOp>& ops);
  // Beyond the registry: a service started must be running, a folder renamed must be
  // there under its new name.
  bool empty() const {
    return keys_.empty() && handedOver_.empty() && services_.empty() && folders_.empty();
  }

  // Opens each key once, and none below a key that is not there.  A value handed
  // over to a program (ChangeKind::HandOver) is reported as it was found then.
  std::vector<Difference> compare(Platform& live) const;

 private:
  struct Value {
    std::wstring name;
    std::optional<RegData> data;  // nullopt: must be absent
    bool handedOver = false;      // checked at the hand-over; anything may follow
  };
  struct Key {
    Handle root = 0;
    std::wstring path;
    bool present = true;
    bool exact = false;
    bool loose = false;                    // whether the key is there is not known
    std::map<std::wstring, Value> values;  // by lower-case name
  };
  using Id = std::pair<Handle, std::wstring>;  // root, lower-case path

  Key& entry(Handle root, const std::wstring& path);

  std::map<Id, Key> keys_;
  std::vector<Difference> handedOver_;             // what the hand-overs found amiss
  std::map<std::wstring, std::wstring> services_;  // lower-case name -> name, to run
  std::map<std::wstring, std::wstring> folders_;   // lower-case path -> path, to exist
};

// Reads a key with everything below it, in the registry's own order: the value
// names and data, then each subkey.  nullopt when the key cannot be opened.
struct KeyTree {
  std::wstring name;
  std::vector<std::pair<std::wstring, RegData>> values;
  std::vector<KeyTree> subKeys;
};
std::optional<KeyTree> ReadKeyTree(Platform& live, Handle root, const std::wstring& path);

// Text of a registry script that puts back, as `live` holds them now, every key
// and value the journal's registry changes touch: a key deleted or created is
// deleted and rewritten whole (or just deleted when it does not exist now), a
// value set or deleted gets its present data or "-".  Changes outside the
// registry are listed as comments, since no registry script can undo them.
// `meant` receives the operations the text is written to hold, in order.
std::wstring BuildUndoScript(const Journal& journal, Platform& live,
                             const std::vector<std::wstring>& headerComments,
                             std::vector<RegOp>* meant = nullptr);

}  // namespace korvane

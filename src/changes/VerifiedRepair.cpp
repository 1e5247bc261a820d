#include "changes/VerifiedRepair.h"

#include <deque>
#include <exception>

#include "changes/JournalingPlatform.h"
#include "changes/OverlayPlatform.h"
#include "changes/UndoFiles.h"
#include "common/Messages.h"
#include "common/PrivateFolders.h"
#include "platform/ForwardingPlatform.h"

namespace korvane {
namespace {

constexpr unsigned kButtonMask = 0x0F;
constexpr unsigned kIconMask = 0xF0;

bool IsQuestion(unsigned flags) { return (flags & kButtonMask) == kMbYesNo; }

// The answers of one press, in the order the questions came.
struct Answers {
  std::deque<int> boxes;
  std::deque<std::wstring> inputs;
};

// Over the preview: questions go to the user (and are remembered), every other
// message box stays unseen, and nothing else of the window runs meanwhile.
class PreviewDialogs : public ForwardingPlatform {
 public:
  PreviewDialogs(Platform& below, Platform& user, Answers& answers)
      : ForwardingPlatform(below), user_(user), answers_(answers) {}

  int messageBox(const std::wstring& text, const std::wstring& title, unsigned flags) override {
    if (!IsQuestion(flags)) return kIdOk;
    const int answer = user_.messageBox(text, title, flags);
    answers_.boxes.push_back(answer);
    return answer;
  }
  std::wstring inputBox(const std::wstring& caption, const std::wstring& prompt,
                        const std::wstring& defaultText) override {
    std::wstring answer = user_.inputBox(caption, prompt, defaultText);
    answers_.inputs.push_back(answer);
    return answer;
  }
  void processMessages() override {}

 private:
  Platform& user_;
  Answers& answers_;
};

// Over the real run: the questions get the preview's answers (a question the
// preview did not ask is put to the user), boxes that report success wait for the
// read-back, all others are shown at once.
class RunDialogs : public ForwardingPlatform {
 public:
  struct Box {
    std::wstring text, title;
    unsigned flags;
  };

  RunDialogs(Platform& below, Answers& answers) : ForwardingPlatform(below), answers_(answers) {}

  int messageBox(const std::wstring& text, const std::wstring& title, unsigned flags) override {
    if (IsQuestion(flags) && !answers_.boxes.empty()) {
      const int answer = answers_.boxes.front();
      answers_.boxes.pop_front();
      return answer;
    }
    if (!IsQuestion(flags) && (flags & kIconMask) == kMbIconInformation) {
      held.push_back({text, title, flags});
      return kIdOk;
    }
    if ((flags & kIconMask) == kMbIconError) errorShown = true;
    return ForwardingPlatform::messageBox(text, title, flags);
  }
  std::wstring inputBox(const std::wstring& caption, const std::wstring& prompt,
                        const std::wstring& defaultText) override {
    if (answers_.inputs.empty()) return ForwardingPlatform::inputBox(caption, prompt, defaultText);
    std::wstring answer = answers_.inputs.front();
    answers_.inputs.pop_front();
    return answer;
  }

  std::vector<Box> held;
  bool errorShown = false;

 private:
  Answers& answers_;
};

}  // namespace

std::wstring UndoNotWrittenQuestion(const std::wstring& reason) {
  return L"The undo file could not be written: " + reason + L". Repair anyway?";
}

VerifiedRun RunVerified(Platform& system, const std::vector<UndoTarget>& targets,
                        const std::function<void()>& repair) {
  VerifiedRun run;
  Answers answers;

  // 1 and 2: previews and undo files.
  struct Planned {
    const UndoTarget* target;
    Journal journal;
  };
  std::vector<Planned> planned;
  for (const UndoTarget& target : targets) {
    OverlayPlatform preview(system);
    PreviewDialogs dialogs(preview, system, answers);
    {
      SysScope scope(dialogs);
      try {
        target.preview();
      } catch (...) {
        // The real run raises the same error and shows it; the preview's part of
        // the work is still what the undo file has to cover.
      }
    }
    if (!preview.journal().empty()) planned.push_back({&target, preview.journal()});
  }

  std::wstring reason;
  if (!planned.empty()) {
    const PrivateFolder store = OpenUndoStore(system, /*create=*/true);
    const std::wstring& undoFolder = store.path;
    reason = store.problem;
    const LocalTime now = system.localTime();
    for (const Planned& p : planned) {
      if (!reason.empty()) break;
      const std::wstring name = UndoFileName(now, p.target->id);
      std::wstring path;
      std::vector<WrittenFile> written;
      auto failed = WriteUndoFile(
          system, [&](int n) { return UndoPathInFolder(undoFolder, name, n); }, p.target->id,
          p.target->title, p.journal, nullptr, &path, &written);
      if (!failed) {
        run.undoFiles.push_back(path);
        // Recorded from the bytes written, not read again: a change made in between
        // then shows as one.
        failed = RecordDigests(system, written);
      }
      if (failed) reason = *failed;
    }
    if (!reason.empty()) {
      if (system.messageBox(UndoNotWrittenQuestion(reason), kAppTitle, kMbYesNo | kMbIconWarning) !=
          kIdYes) {
        // Nothing of this press stays behind, not even the undo files written.
        for (const std::wstring& path : run.undoFiles) RemoveUndoFile(system, path);
        run.undoFiles.clear();
        return run;
      }
    } else {
      PruneUndoFiles(system, undoFolder, kUndoFilesKept);
    }
  }

  // 3: the repair itself.
  JournalingPlatform journaling(system);
  RunDialogs dialogs(journaling, answers);
  run.ran = true;
  {
    SysScope scope(dialogs);
    repair();  // an error it raises leaves here; the caller shows it
  }

  // 4: the read-back.
  ExpectedRegistry expected;
  expected.applyAll(journaling.journal());
  run.unverified = expected.compare(system);
  if (run.unverified.empty()) {
    for (const RunDialogs::Box& box : dialogs.held)
      system.messageBox(box.text, box.title, box.flags);
  } else if (!dialogs.errorShown) {
    system.messageBox(kErrorText, kAppTitle, kMbIconError);
  }
  return run;
}

}  // namespace korvane

// What a form does when a control or menu entry is clicked, and with a control's
// notifications, registered by control id.  Every form dispatches through one of
// these, so a click means the same in each of them.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <utility>

namespace korvane::ui {

class Handlers {
 public:
  using Click = std::function<void()>;
  using Notify = std::function<LRESULT(NMHDR*)>;

  void onClick(int id, Click handler) { clicks_[id] = std::move(handler); }
  void onNotify(int id, Notify handler) { notifies_[id] = std::move(handler); }

  // A WM_COMMAND: a button's or link's click (BN_CLICKED and STN_CLICKED are both
  // 0) or a menu entry's (0 too); a double click or focus change is no click.
  // `run` runs the handler (the main window shows what it raises).  False when
  // it is no click or the id has no click handler.
  bool command(WPARAM wp, const std::function<void(const Click&)>& run) const {
    if (HIWORD(wp) != BN_CLICKED) return false;
    auto it = clicks_.find(LOWORD(wp));
    if (it == clicks_.end()) return false;
    // A copy: the handler may run nested clicks while a tool runs.
    const Click handler = it->second;
    run(handler);
    return true;
  }

  // A WM_NOTIFY: the control's handler's answer, or nothing when it has none.
  bool notify(LPARAM lp, LRESULT* result) const {
    auto* hdr = reinterpret_cast<NMHDR*>(lp);
    auto it = notifies_.find(static_cast<int>(hdr->idFrom));
    if (it == notifies_.end()) return false;
    *result = it->second(hdr);
    return true;
  }

  // WM_COMMAND and WM_NOTIFY of a form's window procedure: true (with the
  // procedure's answer in *result) when a handler took the message.  `run` runs a
  // click's handler (the main window shows what it raises); none: it is called.
  bool handle(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result,
              const std::function<void(const Click&)>& run = nullptr) const {
    *result = 0;
    if (msg == WM_COMMAND)
      return command(
          wp, run ? run : [](const Click& click) { click(); });
    if (msg == WM_NOTIFY) return notify(lp, result);
    return false;
  }

 private:
  std::map<int, Click> clicks_;
  std::map<int, Notify> notifies_;
};

}  // namespace korvane::ui

// A Page over one Chromium tab.
//
// Element handles from one query_selector_all (or query_selector) share a group. In the
// grouped answer mode, the first time an operation is asked of any member (an evaluate
// counts per script, a get_attribute per name), it is answered for every member of the
// group in one protocol call and kept for the group's life; a member whose answer was
// an error fails that operation alone. The per-question mode makes one call per
// question instead, as other automation layers do. The group's remote objects are
// released when its last handle is gone.
//
// What the handle operations mean:
// - visible: the element is connected, has a non-empty border box, and its computed
//   `visibility` is `visible`. So display:none, a zero size and visibility:hidden are
//   invisible; an element off-screen, scrolled away, transparent or covered is visible.
// - enabled: not disabled natively (a disabled button, input, select, textarea, option,
//   optgroup or fieldset, and form controls inside a disabled fieldset other than those
//   in its first legend) and no aria-disabled="true" on it.
// - bounding_box: the border box (getBoundingClientRect) in the main frame's viewport, in
//   CSS pixels; none when the element has no layout box (display:none, detached).
// - inner_text: the element's innerText ("" for elements without one).
// An element that is no longer in the document fails every operation.
#pragma once

#include "chromium/session.hpp"
#include "engine/browser/page.hpp"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillfen::chromium {

enum class AnswerMode { grouped, per_question };

class RemoteObjects;

// A URL as it is, or a local path (relative or absolute) as a file:// URL. Strings with
// a scheme ("https:", "file:", "about:", "data:") count as URLs.
std::string to_url(const std::string& url_or_path);

class ChromiumPage : public Page {
 public:
  // Wraps an attached tab; Browser::new_page makes them.
  ChromiumPage(std::shared_ptr<Connection> connection, std::string target_id,
               std::string session_id, std::chrono::milliseconds command_timeout);
  ~ChromiumPage() override;
  ChromiumPage(const ChromiumPage&) = delete;
  ChromiumPage& operator=(const ChromiumPage&) = delete;

  std::vector<ElementHandlePtr> query_selector_all(const std::string& selector) override;
  ElementHandlePtr query_selector(const std::string& selector) override;
  Json evaluate(const std::string& script) override;
  std::string url() override;

  // Opens a URL or local path and waits for its load event. Throws PageError when the
  // address cannot be opened or the load does not finish within the time-out.
  void navigate(const std::string& url_or_path,
                std::chrono::milliseconds timeout = std::chrono::milliseconds{30000});

  // The tab's session, for acting on the page: Input.dispatchMouseEvent,
  // Input.dispatchKeyEvent, Input.insertText, Page.handleJavaScriptDialog, and the
  // events of the Page and Runtime domains (both enabled).
  Session& session() { return *session_; }
  const std::string& target_id() const { return target_id_; }

  void set_answer_mode(AnswerMode mode) { mode_ = mode; }
  AnswerMode answer_mode() const { return mode_; }
  // Protocol commands this tab has made so far.
  std::uint64_t round_trips() const { return session_->round_trips(); }

 private:
  std::vector<ElementHandlePtr> query(const std::string& selector, bool first_only);

  std::shared_ptr<Session> session_;
  std::string target_id_;
  AnswerMode mode_ = AnswerMode::grouped;
  static constexpr int LOOKUPS_PER_OBJECT_GROUP = 64;

  std::uint64_t next_group_ = 1;
  std::shared_ptr<RemoteObjects> lookups_;
  int lookups_in_batch_ = 0;
};

}  // namespace quillfen::chromium

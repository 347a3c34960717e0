// A Page over one Chromium tab.
//
// Element handles from one query_selector_all (or query_selector) share a group. In the
// grouped answer mode, the first time an operation is asked of any member, it is
// answered for every member of the group in one protocol call and kept for the group's
// life; a member whose answer was an error fails that operation alone. An evaluate
// counts per script. Visibility, inner text and box come in one call, and the first
// get_attribute brings every attribute of every member. The per-question mode makes
// one call per question instead, as other automation layers do. The group's
// page-side objects are let go of when its last handle is gone.
//
// Queries, handle reads and handle evaluates run in the tab's own isolated world, with
// helpers installed once per document: the page's scripts cannot see them, and
// replacing built-ins such as JSON.stringify or getAttribute does not change the
// answers. Page::evaluate runs in the page's own world, where its globals are.
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
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillfen::chromium {

enum class AnswerMode { grouped, per_question };

class Group;
class PageHold;

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
  // The tab's isolated world in the current document: its execution context and the
  // page-side helpers object installed in it.
  struct World {
    long long context = 0;
    std::string helpers;
  };

  std::vector<ElementHandlePtr> query(const std::string& selector, bool first_only);
  std::shared_ptr<Group> query_grouped(const std::string& selector);
  std::shared_ptr<Group> look_up_grouped(const std::string& selector);
  std::shared_ptr<Group> query_per_question(const std::string& selector, bool first_only);
  // The world, made on first use after each new document.
  const World& world();
  // Runtime.evaluate of `expression` in the isolated world, with further `params`.
  Json evaluate_in_world(const std::string& expression, Json params);
  std::string next_object_group();

  std::shared_ptr<Session> session_;
  std::string target_id_;
  AnswerMode mode_ = AnswerMode::grouped;
  std::optional<World> world_;
  std::uint64_t next_group_ = 1;
  // Grouped look-ups: the helpers keep the elements in batches, by helpers object and
  // batch number, each let go of when its last handle is gone and it is full.
  std::map<std::pair<std::string, long long>, std::weak_ptr<PageHold>> lookup_batches_;
  std::shared_ptr<PageHold> filling_batch_;
  // One call per question: look-ups share an object group per batch.
  static constexpr int LOOKUPS_PER_OBJECT_GROUP = 64;
  std::shared_ptr<PageHold> lookups_;
  std::string lookups_group_;
  int lookups_in_batch_ = 0;
};

}  // namespace quillfen::chromium

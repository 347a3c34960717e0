// A Tab (and so a Page) over one Chromium tab.
//
// Element handles from one query_selector_all (or query_selector) share a group. In the
// grouped answer mode, the first time an operation is asked of any member, it is
// answered for every member of the group in one protocol call and kept for the group's
// life; a member whose answer was an error fails that operation alone, while a call that
// could not be made at all (the tab is gone, a dialog blocks it, it ran out of time)
// fails with its own error. An evaluate counts per script. Visibility, inner text and
// box come in one call, and the first get_attribute brings every attribute of every
// member. The scanner's positional-path script is answered by a helper that gives the
// same strings in one pass over the group instead of one walk per element. The
// per-question mode makes one call per question instead, as other automation layers do,
// and runs every script as given. The group's page-side objects are let go of when its
// last handle is gone.
//
// While a query_selector_all group lives, the first look-up (query_selector) fetches the
// field-label look-ups of its members at once: the element "#" + each aria-labelledby
// value that is a plain identifier, and the first label for every for-value; later
// look-ups of those selectors are answered from that, as of that moment, and any other
// selector goes to the page.
//
// A scan (begin_scan) makes its reads one picture of the page: an answer read for an
// element in one group serves every later group holding that element, so no element is
// read twice for the same question; and every read must end by the scan's deadline. A
// read still under way then is stopped in the page, which stays usable, and fails with a
// PageError of kind `slow`; a page that does not answer at all fails with kind
// `timeout`. Outside a scan each command has the session's time-out.
//
// A scan also carries answers over from the scan before it: the page works out every
// answer afresh, but sends only those that differ from what the same element answered
// then (a box that only moved goes as the move), and the rest are taken from that scan's
// answers. The page names only answers it sent in that scan, within one document's
// helpers; one whose reply was lost is not there to take, and the call is made again
// whole. So a taken answer is always the one the page would have sent.
// Most of a page is unchanged from one step to the next, and carrying answers through
// the protocol costs more than working them out in the page. Answers that depend only on
// the element's own part of the tree (tag name, attributes, text children, positional
// path) are not even worked out afresh: the page keeps them until a mutation record
// reaches the element (see refresh in js/helpers.js).
//
// Queries, handle reads and handle evaluates run in the tab's own isolated world, with
// helpers installed once per document: the page's scripts cannot see them, and
// replacing built-ins such as JSON.stringify or getAttribute does not change the
// answers. Page::evaluate runs in the page's own world, where its globals are. Acts run
// their page-side part in the isolated world too, and act through the protocol's input
// calls (acting.cpp); navigation, dialogs and idling are in tab_events.cpp.
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
#include "chromium/tab.hpp"
#include "engine/browser/page.hpp"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace quillfen::chromium {

enum class AnswerMode { grouped, per_question };

class Group;
class PageHold;
class Reader;

class ChromiumPage : public Tab {
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

  // Starts a scan whose reads must all end by `deadline` (see the top of this file); it
  // ends with the returned object. One scan at a time.
  [[nodiscard]] std::unique_ptr<ScanScope> begin_scan(Clock::time_point deadline) override;

  // "token:generation": the token is new with every document, and the generation grows
  // whenever anything a scan reads may have changed since the previous stamp (the
  // document's nodes, attributes and text, the address, the viewport, any scroll
  // offset, and, whenever the browser made a style or layout pass, the rendered text
  // and any element's box, visibility or cursor), and at every stamp while an
  // animation runs. Equal stamps mean that a scan made at the first would read the same
  // as one made at the second. Always given. See chromium/js/watch.js.
  std::optional<std::string> change_stamp() override;

  ActOutcome navigate(const std::string& url_or_path,
                      std::chrono::milliseconds timeout = std::chrono::milliseconds{30000}) override;
  ActOutcome click(const ElementRecord& element, Clock::time_point deadline, Click how = {}) override;
  ActOutcome hover(const ElementRecord& element, Clock::time_point deadline) override;
  ActOutcome type(const ElementRecord& element, const std::string& text, Clock::time_point deadline) override;
  ActOutcome select(const ElementRecord& element, const std::string& option, Clock::time_point deadline) override;
  ActOutcome set_checked(const ElementRecord& element, bool checked, Clock::time_point deadline) override;
  std::optional<bool> is_checked(const ElementRecord& element) override;
  ActOutcome press(const std::vector<Chord>& chords) override;
  ActOutcome type_characters(const std::string& characters) override;
  std::optional<Dialog> open_dialog() override;
  bool wait_for_dialog(std::chrono::milliseconds timeout) override;
  void answer_dialog(bool accept, const std::optional<std::string>& prompt_text = std::nullopt) override;
  void idle(std::chrono::milliseconds duration) override;
  std::string title() override;
  std::string screenshot(const std::optional<BoundingBox>& clip = std::nullopt) override;
  bool crashed() override;

  // How long an act waits for a page that it starts to load (10 s unless set).
  void set_load_timeout(std::chrono::milliseconds timeout) { load_timeout_ = timeout; }

  // The tab's session, for what the Tab does not offer: protocol commands and the
  // events of the Page and Runtime domains (both enabled).
  Session& session() { return *session_; }
  const std::string& target_id() const { return target_id_; }

  void set_answer_mode(AnswerMode mode) { mode_ = mode; }
  AnswerMode answer_mode() const { return mode_; }
  // Protocol commands this tab has made so far.
  std::uint64_t round_trips() const { return session_->round_trips(); }
  // Answers that a scan took from the one before, as the page found them unchanged.
  std::uint64_t carried_answers() const;
  // Whether scans carry answers over (the default); without, each reads the page whole.
  void set_carrying(bool carrying);

 private:
  struct LabelLookUps;

  std::vector<ElementHandlePtr> query(const std::string& selector, bool first_only);
  std::shared_ptr<Group> query_grouped(const std::string& selector);
  std::shared_ptr<Group> look_up_grouped(const std::string& selector);
  // The group of a look-up answered from the label look-ups of the latest query, or
  // none when they cannot answer it.
  std::optional<std::shared_ptr<Group>> look_up_from_labels(const std::string& selector);
  std::shared_ptr<Group> query_per_question(const std::string& selector, bool first_only);
  std::string next_object_group();
  // Makes the isolated world afresh at the next read: a navigation starts a new document.
  void forget_world();

  // Acting (acting.cpp). The value of `function` called in the isolated world with
  // `arguments` (a JSON array), a promise awaited.
  Json call_in_world(std::string_view function, const Json& arguments);
  // Where to act on an element: a point and the element's box.
  struct Spot {
    double x = 0;
    double y = 0;
    Json box;
  };
  // The spot once the element holds still and receives the pointer; `mode` is what
  // act.js knows ("click", "hover", "type", "select", "check"). With `box`, the element
  // must still have that box.
  std::variant<Spot, ActOutcome> spot(const ElementRecord& element, const std::string& mode,
                                      Clock::time_point deadline, const Json& box = nullptr);
  // Moves the mouse onto the spot and finds it again, since the move may change the
  // page. A dialog meanwhile leaves the act blocked, `before` naming what it was before.
  std::variant<Spot, ActOutcome> aim(const ElementRecord& element, const std::string& mode,
                                     Clock::time_point deadline, const std::string& before);
  // Presses and releases the button at the spot, `how.count` times.
  void press_mouse(const Spot& at, const Click& how);
  void mouse(const std::string& type, double x, double y, const Click& how = {});
  // "before the click: 'Sure?'", for the dialog open now.
  std::string dialog_opened(const std::string& before);
  // Answers the open dialog and waits until it is closed (or the next one opened).
  void reply_to_dialog(bool accept, const std::optional<std::string>& prompt_text);
  void key_event(const std::string& type, const Key& key, int modifiers);

  // Tab events (tab_events.cpp). Drops the events of earlier loads before an act.
  void forget_loads();
  // When the page asked for a load in this tab since the loads were forgotten (during
  // the act, or in a task queued by then), waits until it has loaded, or navigated
  // within the document, or a dialog opened.
  void settle();
  // After a load event: waits, until `deadline` at most, for the page to be laid out.
  void await_layout(Clock::time_point deadline);

  std::shared_ptr<Session> session_;
  // The isolated world, the scan under way, and the reads (chromium_page.cpp).
  std::shared_ptr<Reader> reader_;
  std::string target_id_;
  std::chrono::milliseconds load_timeout_{10000};
  AnswerMode mode_ = AnswerMode::grouped;
  std::uint64_t next_group_ = 1;
  // Grouped look-ups: the helpers keep the elements in batches of 64, each let go of
  // when its last handle is gone and it is full.
  std::shared_ptr<PageHold> filling_batch_;
  std::uint64_t filling_batch_id_ = 0;
  long long filling_batch_context_ = 0;
  int lookups_in_batch_ = 0;
  // The latest query_selector_all group, and the label look-ups made for it.
  std::weak_ptr<Group> latest_query_;
  std::unique_ptr<LabelLookUps> labels_;
  // The browser's counts of layout and style passes at the latest change stamp.
  bool counting_passes_ = false;
  std::vector<double> style_and_layout_passes_;
  // One call per question: look-ups share an object group per batch.
  static constexpr int LOOKUPS_PER_BATCH = 64;
  std::shared_ptr<PageHold> lookups_;
  std::string lookups_group_;
  int lookups_in_object_group_ = 0;
};

}  // namespace quillfen::chromium

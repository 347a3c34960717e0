// Generated pages for the scenario benchmark: an office report page with realistic text
// (prose paragraphs, order tables with a button per row, labelled forms, long lists of
// customers) grown to a given number of interactable elements (links, buttons, fields:
// what a scan reads one by one, as the scan benchmark counts them; the page holds some six
// times as many elements in all), around the few controls that the
// benchmark's scenario uses (a customer form, an order with a recalculated total, an
// in-page link to an archive at the bottom). The scenario's own words occur nowhere in
// the filler, so every look-up has exactly one answer at every size.
#pragma once

#include <array>
#include <cstddef>
#include <sstream>
#include <string>
#include <string_view>

namespace quillfen::bench {

namespace scenario_detail {

constexpr std::array<std::string_view, 24> SENTENCES{
    "The spring orders arrived earlier than planned, and most of them were shipped within two days.",
    "Several customers asked for a second delivery window in the afternoon.",
    "Our warehouse in the north moved to a larger building near the river.",
    "Returns stayed low this quarter, mostly jackets in the wrong size.",
    "The new packing tables cut the time per parcel by almost a third.",
    "A few invoices were paid late because the reminders went to an old address.",
    "We kept the prices of the garden range unchanged until the end of summer.",
    "Drivers now confirm each delivery with a photo of the parcel at the door.",
    "The team answered most questions by phone on the same working day.",
    "Stock of the blue backpacks ran out twice and was refilled within a week.",
    "Customers in the coastal towns prefer to collect their parcels at the shop.",
    "The catalogue was reprinted with clearer photos and larger type.",
    "We tried a weekend service in two cities and will keep it in one of them.",
    "Most complaints were about parcels left in the rain, which we now avoid.",
    "The office will be closed on the first Monday of next month for inventory.",
    "A local school ordered chairs and desks for three new classrooms.",
    "Our suppliers raised the cost of cardboard, so we reuse more boxes.",
    "The helpdesk now opens one hour earlier on weekdays.",
    "Please check the shelf labels in aisle four before the next count.",
    "Bicycles sold better than expected, especially the smaller frames.",
    "The night shift asked for brighter lamps at the loading bay.",
    "We welcomed four new colleagues in the accounts team this spring.",
    "Parcels to the islands still take a day longer than those to the mainland.",
    "Thank you to everyone who helped during the move of the warehouse.",
};

constexpr std::array<std::string_view, 16> PEOPLE{
    "Maria Jensen",  "Tomas Berg",    "Ingrid Holm",  "Lukas Meyer",  "Sofia Rossi", "Jonas Lind",
    "Elena Petrova", "Pedro Alves",   "Hanna Koski",  "Oskar Nilsson", "Clara Dubois", "Mateo Garcia",
    "Freya Olsen",   "Viktor Novak",  "Lea Fischer",  "Anton Larsen",
};

constexpr std::array<std::string_view, 12> CITIES{"Bergen", "Aarhus",  "Uppsala", "Tampere", "Lyon",   "Porto",
                                                  "Graz",   "Leipzig", "Gdansk",  "Utrecht", "Malmo",  "Turku"};

constexpr std::array<std::string_view, 4> STATES{"Shipped", "Packed", "Waiting", "Delivered"};

inline std::string_view sentence(std::size_t i) { return SENTENCES[i % SENTENCES.size()]; }
inline std::string_view person(std::size_t i) { return PEOPLE[i % PEOPLE.size()]; }
inline std::string_view city(std::size_t i) { return CITIES[i % CITIES.size()]; }

// The number of start tags in a piece of markup: its element count.
inline int elements_in(std::string_view html) {
  int count = 0;
  for (std::size_t i = 0; i + 1 < html.size(); ++i) {
    if (html[i] == '<' && html[i + 1] >= 'a' && html[i + 1] <= 'z') ++count;
  }
  return count;
}

// The number of links, buttons and fields in a piece of markup.
inline int interactables_in(std::string_view html) {
  int count = 0;
  for (const std::string_view tag : {"<a ", "<button", "<input", "<select", "<textarea"}) {
    for (auto at = html.find(tag); at != std::string_view::npos; at = html.find(tag, at + 1)) ++count;
  }
  return count;
}

inline std::string prose_block(std::size_t n) {
  std::ostringstream html;
  html << "<section><h2>Notes from the " << city(n) << " branch</h2>";
  for (std::size_t p = 0; p < 3; ++p) {
    html << "<p>" << sentence(n * 7 + p * 3) << " " << sentence(n * 7 + p * 3 + 1) << " <em>"
         << person(n + p) << "</em> wrote: " << sentence(n * 7 + p * 3 + 2) << "</p>";
  }
  html << "</section>";
  return html.str();
}

inline std::string table_block(std::size_t n) {
  std::ostringstream html;
  html << "<section><h2>Orders from " << city(n) << "</h2><table class=\"orders\"><caption>Orders placed in week "
       << n % 52 + 1 << "</caption><thead><tr><th>Order</th><th>Customer</th><th>City</th><th>Amount</th>"
       << "<th>Status</th><th></th></tr></thead><tbody>";
  for (std::size_t r = 0; r < 8; ++r) {
    const std::size_t order = 2000 + n * 8 + r;
    html << "<tr><td>" << order << "</td><td>" << person(n + r) << "</td><td>" << city(n + r * 5) << "</td><td>$"
         << (order * 37) % 900 + 10 << ".50</td><td>" << STATES[(n + r) % STATES.size()]
         << "</td><td><button type=\"button\">View order " << order << "</button></td></tr>";
  }
  html << "</tbody></table></section>";
  return html.str();
}

inline std::string list_block(std::size_t n) {
  std::ostringstream html;
  html << "<section><h2>Regular customers in " << city(n) << "</h2><ul class=\"customers\">";
  for (std::size_t i = 0; i < 30; ++i) {
    html << "<li>" << person(n + i) << ", " << city(n + i * 3);
    if (i % 3 == 0) html << " <a href=\"#customer-" << n << "-" << i << "\">profile</a>";
    html << "</li>";
  }
  html << "</ul></section>";
  return html.str();
}

inline std::string form_block(std::size_t n) {
  std::ostringstream html;
  const std::string id = "branch" + std::to_string(n);
  html << "<section><h2>Delivery settings of the " << city(n) << " branch</h2><form class=\"settings\">"
       << "<p><label for=\"" << id << "-contact\">Contact person in " << city(n) << "</label><input id=\"" << id
       << "-contact\" value=\"" << person(n) << "\"></p>"
       << "<p><label for=\"" << id << "-phone\">Phone of the " << city(n) << " desk</label><input id=\"" << id
       << "-phone\" type=\"tel\"></p>"
       << "<p><label for=\"" << id << "-window\">Delivery window in " << city(n) << "</label><select id=\"" << id
       << "-window\"><option>Morning</option><option>Afternoon</option><option>Evening</option></select></p>"
       << "<p><input type=\"checkbox\" id=\"" << id << "-weekend\"><label for=\"" << id
       << "-weekend\">Weekend deliveries in " << city(n) << "</label></p>"
       << "<p><label for=\"" << id << "-notes\">Notes for the " << city(n) << " drivers</label><textarea id=\"" << id
       << "-notes\" rows=\"2\"></textarea></p>"
       << "<button type=\"button\">Apply " << city(n) << " settings</button></form></section>";
  return html.str();
}

constexpr std::string_view HEAD =
    "<!doctype html><html lang=\"en\"><head><meta charset=\"utf-8\"><title>Quarterly report</title><style>"
    "body{font-family:sans-serif;margin:0 24px;line-height:1.4}"
    "label{margin-right:8px}input,select,textarea{margin:2px 8px 2px 0}"
    "table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:2px 8px;text-align:left}"
    ".summary th{font-weight:normal}ul.customers{columns:3}"
    "</style></head><body>";

constexpr std::string_view TOP =
    "<header id=\"top\"><nav><a href=\"#customer\">Customers</a> <a href=\"#order\">Orders</a> "
    "<a href=\"#archive\">Go to archive</a></nav><h1>Quarterly report</h1></header><main>"
    "<section id=\"customer\"><h2>New customer</h2><form onsubmit=\"return false\">"
    "<p><label for=\"full-name\">Full name</label><input id=\"full-name\" autocomplete=\"off\"></p>"
    "<p><label for=\"email\">Email address</label><input id=\"email\" type=\"email\" autocomplete=\"off\"></p>"
    "<p><label for=\"country\">Country</label><select id=\"country\"><option>Denmark</option>"
    "<option>Finland</option><option>Norway</option><option>Sweden</option></select></p>"
    "<p><button type=\"button\" id=\"save\">Save customer</button></p><p id=\"saved\"></p></form></section>"
    "<section id=\"order\"><h2>Order 1042</h2>"
    "<p><button type=\"button\" id=\"details-toggle\">Show order details</button></p>"
    "<p id=\"details\" hidden>Order 1042 ships on 3 May</p>"
    "<p><label for=\"quantity\">Quantity</label><input id=\"quantity\" type=\"number\" value=\"1\">"
    "<button type=\"button\" id=\"recalculate\">Recalculate total</button></p>"
    "<table class=\"summary\"><tr><th>Unit price</th><td>$2.00</td></tr>"
    "<tr><th>Total</th><td id=\"total\">$2.00</td></tr></table></section>";

constexpr std::string_view BOTTOM =
    "<section id=\"archive\"><h2>Archive</h2><p>Orders older than a year are kept here.</p>"
    "<p><button type=\"button\" id=\"restore\">Restore archive</button></p><p id=\"restored\"></p>"
    "<p><a href=\"#top\">Back to top</a></p></section></main>"
    "<script>"
    "const byId = (id) => document.getElementById(id);"
    "byId('save').addEventListener('click', () => {"
    "  byId('saved').textContent = 'Saved ' + byId('full-name').value + ' from ' + byId('country').value;"
    "});"
    "byId('details-toggle').addEventListener('click', () => { byId('details').hidden = false; });"
    "byId('recalculate').addEventListener('click', () => {"
    "  byId('total').textContent = '$' + (2 * Number(byId('quantity').value)).toFixed(2);"
    "});"
    "byId('restore').addEventListener('click', () => { byId('restored').textContent = 'Archive restored'; });"
    "</script></body></html>";

}  // namespace scenario_detail

struct ScenarioPage {
  std::string html;
  int interactables = 0;  // links, buttons and fields, counted as generated
  int elements = 0;       // all elements of the body
};

// A page of about `interactables` links, buttons and fields (at least the scenario's own
// 12; the last filler block may add up to 10 more than asked).
inline ScenarioPage scenario_page(int interactables) {
  using namespace scenario_detail;
  std::string body(TOP);
  int count = interactables_in(TOP) + interactables_in(BOTTOM);
  int elements = elements_in(TOP) + elements_in(BOTTOM);
  for (std::size_t n = 0; count < interactables; ++n) {
    std::string block;
    switch (n % 5) {
      case 0:
      case 2:
        block = prose_block(n);
        break;
      case 1:
        block = table_block(n);
        break;
      case 3:
        block = list_block(n);
        break;
      default:
        block = form_block(n);
        break;
    }
    count += interactables_in(block);
    elements += elements_in(block);
    body += block;
  }
  return {std::string(HEAD) + body + std::string(BOTTOM), count, elements};
}

}  // namespace quillfen::bench

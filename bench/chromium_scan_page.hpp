// Generated pages for the scan benchmark, each with `count` interactable elements:
// - generated_page: ten kinds of interactable element (labelled inputs, placeholders,
//   buttons, links, role buttons, custom inputs, pointer tiles, text areas, checkboxes,
//   selects), with section headings, prices and captions around them, the way a long
//   shop or admin page looks;
// - prose_page: the text a real page carries around its controls: paragraphs with
//   inline links and emphasis, a table row per ten elements, labelled form fields
//   (label for, aria-labelledby, wrapping labels, placeholders), and a feed whose items
//   all stand in one long list of siblings;
// - flat_page: buttons that are all children of one element, the longest sibling list.
#pragma once

#include <sstream>
#include <string>

namespace quillfen::bench {

inline std::string generated_page(int count) {
  std::ostringstream html;
  html << "<!doctype html><html><head><meta charset=\"utf-8\"><style>"
          ".row{display:flex;gap:8px;align-items:center;margin:2px 0}"
          ".tile{cursor:pointer;padding:2px 6px;border:1px solid #999}"
          ".card-input{border:1px solid #666;min-width:120px;min-height:18px}"
          "</style></head><body><h1>Generated catalogue</h1><main>";
  for (int i = 0; i < count; ++i) {
    if (i % 20 == 0) {
      if (i > 0) {
        html << "</section>";
      }
      html << "<section><h3>Section " << i / 20 + 1 << "</h3><p>Items " << i + 1 << " to " << i + 20
           << " of the catalogue, with their prices.</p>";
    }
    html << "<div class=\"row\" data-row=\"" << i << "\">";
    switch (i % 10) {
      case 0:
        html << "<label for=\"qty" << i << "\">Quantity " << i << "</label><input id=\"qty" << i
             << "\" name=\"qty" << i << "\" type=\"number\" value=\"1\">";
        break;
      case 1:
        html << "<span>Search</span><input type=\"text\" placeholder=\"Search item " << i << "\" data-qa=\"search-" << i
             << "\">";
        break;
      case 2:
        html << "<span class=\"price\">$" << i << ".00</span><button class=\"btn buy\" data-testid=\"buy-" << i
             << "\">Add to cart</button>";
        break;
      case 3:
        html << "<a href=\"#item" << i << "\" title=\"Item " << i << "\">Details of item " << i << "</a>";
        break;
      case 4:
        html << "<div role=\"button\" class=\"chip\" aria-label=\"Filter " << i << "\">Filter " << i << "</div>";
        break;
      case 5:
        html << "<span>Note " << i << "</span><div class=\"card-input editable\" contenteditable=\"true\"></div>";
        break;
      case 6:
        html << "<div class=\"tile\">Tile " << i << "</div><span class=\"caption\">Caption " << i << "</span>";
        break;
      case 7:
        html << "<textarea aria-label=\"Comment " << i << "\" rows=\"1\"></textarea>";
        break;
      case 8:
        html << "<input type=\"checkbox\" aria-labelledby=\"agree" << i << "\"><span id=\"agree" << i
             << "\">I agree to terms " << i << "</span>";
        break;
      default:
        html << "<span>Size</span><select name=\"size" << i << "\"><option>S</option><option>M</option></select>";
        break;
    }
    html << "</div>";
  }
  html << "</section></main><footer><p>End of the catalogue.</p></footer></body></html>";
  return html.str();
}

inline std::string prose_page(int count) {
  static const char* const words[] = {"order", "delivery", "account", "invoice", "customer", "shipping",
                                      "payment", "product", "return", "address", "discount", "support"};
  const auto sentence = [](int seed) {
    std::string text = "The";
    for (int w = 0; w < 9; ++w) text += std::string(" ") + words[(seed * 7 + w * 5) % 12];
    return text + ".";
  };
  std::ostringstream html;
  std::ostringstream feed;
  html << "<!doctype html><html><head><meta charset=\"utf-8\"><style>"
          "td,th{padding:2px 6px}.field{margin:4px 0}.feed li{margin:2px 0}"
          "</style></head><body><header><h1>Generated handbook</h1><nav><span>Home</span> / <span>Guides</span>"
          "</nav></header><main>";
  const int blocks = (count + 9) / 10;
  for (int b = 0; b < blocks; ++b) {
    if (b % 5 == 0) {
      if (b > 0) html << "</tbody></table></section>";
      html << "<section><h2>Chapter " << b / 5 + 1 << "</h2><div class=\"intro\"><p>" << sentence(b)
           << " " << sentence(b + 1) << "</p></div><table><thead><tr><th>Item</th><th>Price</th><th>Status</th>"
           << "<th>Owner</th><th>Action</th></tr></thead><tbody>";
    }
    // One paragraph with a link and emphasis, then a table row, then form fields.
    html << "<tr><td colspan=\"5\"><p>" << sentence(b + 2) << " <em>" << words[b % 12] << "</em> "
         << sentence(b + 3) << " <a href=\"#ref" << b << "\">Read more about " << words[(b + 3) % 12] << " " << b
         << "</a></p></td></tr>";
    html << "<tr><td>Item " << b << "</td><td>$" << b % 97 << "." << b % 10 << "0</td><td><span class=\"status\">"
         << (b % 3 == 0 ? "Shipped" : "Pending") << "</span></td><td>Owner " << b % 13 << "</td><td><button>Edit "
         << b << "</button></td></tr>";
    html << "<tr><td colspan=\"5\"><div class=\"field\"><label for=\"name" << b << "\">Full name " << b
         << "</label><input id=\"name" << b << "\" name=\"name" << b << "\"></div>"
         << "<div class=\"field\"><span id=\"mail" << b << "\">Email " << b << "</span><input type=\"email\" "
         << "aria-labelledby=\"mail" << b << "\"></div>"
         << "<div class=\"field\"><label for=\"size" << b << "\">Size " << b << "</label><select id=\"size" << b
         << "\"><option>Small</option><option>Large</option></select></div>"
         << "<div class=\"field\"><label><input type=\"checkbox\"> Send updates " << b << "</label></div>"
         << "<div class=\"field\"><textarea placeholder=\"Notes " << b << "\"></textarea></div></td></tr>";
    for (int f = 0; f < 3; ++f) {
      const int n = b * 3 + f;
      feed << "<li><span class=\"author\">Reader " << n << "</span> <span>" << sentence(n) << "</span> "
           << "<button>Like " << n << "</button></li>";
    }
  }
  html << "</tbody></table></section><section class=\"feed\"><h2>Feed</h2><ul>" << feed.str()
       << "</ul></section></main><footer><p>End of the handbook.</p></footer></body></html>";
  return html.str();
}

inline std::string flat_page(int count) {
  std::ostringstream html;
  html << "<!doctype html><html><head><meta charset=\"utf-8\"></head><body><div id=\"list\">";
  for (int i = 0; i < count; ++i) html << "<button>Button " << i << "</button>";
  html << "</div></body></html>";
  return html.str();
}

}  // namespace quillfen::bench

// Generated pages for the scan benchmark: `count` interactable elements of ten kinds
// (labelled inputs, placeholders, buttons, links, role buttons, custom inputs, pointer
// tiles, text areas, checkboxes, selects), with section headings, prices and captions
// around them, the way a long shop or admin page looks.
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

}  // namespace quillfen::bench

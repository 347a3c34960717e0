#include "runner/pictures.hpp"

#include "engine/core/file_writer.hpp"
#include "engine/core/text.hpp"
#include "runner/scripts.hpp"

#include <random>

namespace quillfen::runner {
namespace {

namespace fs = std::filesystem;

std::string_view kind_word(MarkKind kind) {
  switch (kind) {
    case MarkKind::element: return "element";
    case MarkKind::candidate: return "candidate";
    case MarkKind::anchor: return "anchor";
  }
  return "candidate";
}

// Page text can hold anything; the marks travel to the page as a JSON literal, with every
// character beyond ASCII escaped and invalid UTF-8 replaced.
std::string as_literal(const Json& value) { return value.dump(-1, ' ', true, Json::error_handler_t::replace); }

Json marks_json(const std::vector<Mark>& marks) {
  Json list = Json::array();
  for (const Mark& mark : marks) {
    Json box = nullptr;
    if (mark.box) box = {{"x", mark.box->x}, {"y", mark.box->y}, {"width", mark.box->width}, {"height", mark.box->height}};
    list.push_back({{"kind", kind_word(mark.kind)}, {"label", mark.label}, {"xpath", mark.xpath}, {"box", box}});
  }
  return list;
}

// A function of the page's scripts, called with the given arguments.
std::string call(std::string_view function, const Json& arguments) {
  std::string args = as_literal(arguments);
  // The arguments are a JSON array; the call takes its members.
  args = args.substr(1, args.size() - 2);
  return "() => (\n" + std::string(function) + "\n)(" + args + ")";
}

// An id that no page uses by chance.
std::string host_id() {
  std::random_device device;
  std::uniform_int_distribution<unsigned long long> digits;
  return "quillfen-outline-" + std::to_string(digits(device));
}

// A size in whole megabytes, or kilobytes below one megabyte.
std::string size_words(std::size_t bytes) {
  constexpr std::size_t KB = 1024;
  constexpr std::size_t MB = 1024 * KB;
  if (bytes >= MB) return std::to_string((bytes + MB / 2) / MB) + " MB";
  return std::to_string((bytes + KB - 1) / KB) + " KB";
}

}  // namespace

std::string draw_outlines(chromium::Tab& tab, const std::vector<Mark>& marks) {
  const std::string id = host_id();
  tab.evaluate(call(scripts::OUTLINE, Json::array({marks_json(marks), id})));
  return id;
}

void remove_outlines(chromium::Tab& tab, const std::string& layer) {
  tab.evaluate(call(scripts::REMOVE_OUTLINE, Json::array({layer})));
}

std::optional<PictureWhen> picture_when(std::string_view word) {
  if (word == "failures") return PictureWhen::failures;
  if (word == "all") return PictureWhen::all;
  if (word == "off") return PictureWhen::off;
  return std::nullopt;
}

fs::path pictures_folder(const fs::path& report) {
  fs::path folder = report.parent_path();
  return folder / (report.stem().string() + "-files");
}

std::string picture_name(std::size_t script_number, const fs::path& script, int line) {
  std::string stem;
  for (const char c : script.stem().string()) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    stem += plain ? c : '_';
  }
  // A name of any length would make the file name too long for the file system.
  if (stem.size() > 60) stem.resize(60);
  return std::to_string(script_number) + "-" + stem + "-line" + std::to_string(line) + ".png";
}

PictureTaker::PictureTaker(const fs::path& report, std::size_t budget)
    : folder_(pictures_folder(report)), link_prefix_(folder_.filename().string() + "/"), budget_(budget) {}

PictureTaken PictureTaker::take(chromium::Tab& tab, const std::vector<Mark>& marks, const std::string& name) {
  PictureTaken taken;
  if (used() >= budget_) {
    taken.notes.push_back("no picture: the run's pictures reached their bound of " + size_words(budget_));
    return taken;
  }
  try {
    // A dialog holds the page: nothing could be drawn, and no frame would come.
    if (const auto dialog = tab.open_dialog()) {
      taken.notes.push_back("no picture: a dialog was open (" + text::quoted(dialog->message) + ")");
      return taken;
    }
  } catch (const std::exception& e) {
    taken.notes.push_back(std::string("no picture: ") + e.what());
    return taken;
  }

  std::optional<std::string> layer;
  if (!marks.empty()) {
    try {
      layer = draw_outlines(tab, marks);
    } catch (const std::exception& e) {
      taken.notes.push_back(std::string("the picture has no outlines: they could not be drawn: ") + e.what());
    }
  }
  std::string png;
  std::optional<std::string> failure;
  try {
    png = tab.screenshot();
  } catch (const std::exception& e) {
    failure = std::string("no picture: the page could not be captured: ") + e.what();
  }
  if (layer) {
    try {
      remove_outlines(tab, *layer);
    } catch (const std::exception& e) {
      taken.notes.push_back(std::string("the outlines drawn for the picture could not be removed: ") + e.what());
    }
  }
  if (!failure && png.empty()) failure = "no picture: the browser sent an empty one";
  if (failure) {
    taken.notes.push_back(*failure);
    return taken;
  }
  {
    // Workers take pictures at the same time: the bytes are claimed before the write.
    const std::lock_guard lock(budget_mutex_);
    if (png.size() > budget_ - used_) {
      taken.notes.push_back("no picture: it would take the run's pictures past their bound of " + size_words(budget_));
      return taken;
    }
    used_ += png.size();
  }
  try {
    files::write_file(folder_ / name, png);
  } catch (const files::WriteError& e) {
    const std::lock_guard lock(budget_mutex_);
    used_ -= png.size();
    taken.notes.push_back("no picture: cannot write " + (folder_ / name).string() + ": " + e.reason());
    return taken;
  }
  taken.path = link_prefix_ + name;
  return taken;
}

}  // namespace quillfen::runner

#include "engine/browser/settings.hpp"

namespace quillfen::settings {

std::atomic<bool> SAVE_SNAPSHOTS = false;
std::string LOG_PATH = "data/logs";

}  // namespace quillfen::settings

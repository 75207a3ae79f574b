#include "model/progress.h"

#include "model/session.h"

namespace kav {

namespace {
ProgressHook installedHook = nullptr;
bool showAlways = false; // the hook wants reports outside debug mode too
} // namespace

void setProgressHook(ProgressHook hook, bool always) {
  installedHook = hook;
  showAlways = always;
}

bool progressEnabled() { return installedHook != nullptr && (session.debugMode || showAlways); }

void reportProgress(const char* text) {
  if (progressEnabled()) installedHook(text);
}

} // namespace kav

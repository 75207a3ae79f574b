#include "model/progress.h"

#include "model/session.h"

namespace kav {

namespace {
ProgressHook installedHook = nullptr;
}

void setProgressHook(ProgressHook hook) { installedHook = hook; }

bool progressEnabled() { return session.debugMode && installedHook != nullptr; }

void reportProgress(const char* text) {
  if (progressEnabled()) installedHook(text);
}

} // namespace kav

// A module's resources made the current resource module for one scope, as
// the module's start does, for tests of dialogs and texts in process.
#pragma once

#include "ui.h"

namespace corvane::testing {

class ResourcesScope {
public:
  explicit ResourcesScope(const UiResources* resources) { AfxInitModule(&instance_, resources, nullptr); }
  ~ResourcesScope() { AfxTermModule(&instance_, nullptr); }
  ResourcesScope(const ResourcesScope&) = delete;
  ResourcesScope& operator=(const ResourcesScope&) = delete;

private:
  char instance_ = 0; // stands for the module's instance handle
};

} // namespace corvane::testing

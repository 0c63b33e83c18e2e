// Named resources: files in the application's resource folder, by default `resources` next to
// the executable. Looked up on the main thread.
#pragma once

#include "core/DataSource.h"
#include "core/Exception.h"

#include <string>

namespace mirvo::app {

class ResourceLoadExc : public Exception {
  public:
    // "Failed to load resource: " and the name, cut to at most 4095 characters.
    explicit ResourceLoadExc(const std::string& resourceName);
};

// The folder resources are looked up in. Until set, the `resources` folder beside the
// running executable (or, for an installed program without one, ../share/mirvo/resources).
std::string getResourceDirectory();
// Points the lookup somewhere else (the application at start, tests); empty restores the default.
void setResourceDirectory(const std::string& directory);

// Full path of the resource `name` ("file" or "sub/dir/file"), or empty when there is no such
// file. Names cannot reach outside the resource folder.
std::string getResourcePath(const std::string& name);

// A data source for the resource; throws ResourceLoadExc when it does not exist.
DataSourcePathRef loadResource(const std::string& name);

} // namespace mirvo::app

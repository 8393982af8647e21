#pragma once
// Extensions added to local file names so that saved files open by their type.
#include <string>

// The name with ".htm", ".gif", ".jpg" or ".png" appended when the MIME type says the body is
// HTML, GIF, JPEG or PNG and the name does not already carry that extension; otherwise the
// name unchanged. The extension is added after the whole name (photo.jpeg -> photo.jpeg.jpg).
std::string AddExtensionForMIMEType(const std::string& fileName, const std::string& mimeType);

#pragma once
// Extensions added to local file names so that saved files open by their type.
#include <string>

// The name with the ending of its type appended when the name does not already carry it:
// ".htm" (HTML), ".gif", ".jpg", ".png", ".css", ".js" (the JavaScript types), ".svg", ".webp",
// ".ico"; otherwise the name unchanged. The extension is added after the whole name (photo.jpeg -> photo.jpeg.jpg).
std::string AddExtensionForMIMEType(const std::string& fileName, const std::string& mimeType);

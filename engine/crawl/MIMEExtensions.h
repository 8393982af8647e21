#pragma once
// Extensions added to local file names so that saved files open by their type.
#include <string>
#include <string_view>

// The name with the ending of its type appended when the name does not already carry it:
// ".htm" (HTML), ".gif", ".jpg", ".png", ".css", ".js" (the JavaScript types), ".svg", ".webp",
// ".ico"; otherwise the name unchanged. The extension is added after the whole name (photo.jpeg -> photo.jpeg.jpg).
std::string AddExtensionForMIMEType(const std::string& fileName, const std::string& mimeType);

// True when a path's ending (from its last dot, any case) names a type that is not a web page:
// the endings above and those of the file-type groups (images, sound, video, programs,
// archives, documents).
bool IsNonPageEnding(std::string_view ending);

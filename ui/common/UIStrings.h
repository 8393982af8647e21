#pragma once
// Every text a window shows comes from the language table by its string number.
#include "engine/services/LanguageStrings.h"

#include <QString>
#include <cstdint>
#include <string>

class QWidget;

// The text of string id in the current language, line breaks expanded.
std::string UIString(int id);
QString QUIString(int id);
// Whole number of string id, or def when the text is not one.
int UIInteger(int id, int def);

QString QReplaceFirst(QString text, const QString& placeholder, const QString& value);

// Font name from string 7 and size from string 8 (the current size when 8 is not a number).
void ApplyLanguageFont(QWidget* widget);

// A count and the words that go with it: CountOf(1, "job was", "jobs were") gives "1 job was".
inline std::string CountOf(int64_t count, const std::string& one, const std::string& many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

inline QString QStr(const std::string& s) { return QString::fromStdString(s); }
inline std::string StdStr(const QString& s) { return s.toStdString(); }

#include "ui/common/SerializeListView.h"

#include "engine/services/AppTraceLog.h"
#include "platform/IniFile.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/UIStrings.h"

#include <QHeaderView>
#include <QTimer>
#include <QTreeWidget>

#include <stdexcept>

namespace {

const char* const kUnit = "SerializeListView";

bool IsBlank(char c)
{
    return c > 0 && c <= ' ';
}

TCSVRow RowOf(const QTreeWidgetItem* item, int columns)
{
    TCSVRow row;
    row.reserve(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c)
        row.push_back(StdStr(item->text(c)));
    return row;
}

}  // namespace

std::string CSVLineText(const TCSVRow& fields)
{
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += ", ";
        line += '"';
        for (char c : fields[i]) {
            if (c == '"')
                line += "\"\"";
            else if (c == '\r' || c == '\n')
                line += ' ';
            else
                line += c;
        }
        line += '"';
    }
    return line;
}

TCSVRow SplitCommaText(const std::string& line)
{
    TCSVRow fields;
    size_t p = 0;
    const size_t n = line.size();
    auto skipBlanks = [&] {
        while (p < n && IsBlank(line[p]))
            ++p;
    };
    skipBlanks();
    while (p < n) {
        std::string field;
        if (line[p] == '"') {
            ++p;
            while (p < n) {
                if (line[p] == '"') {
                    if (p + 1 < n && line[p + 1] == '"') {
                        field += '"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                field += line[p++];
            }
        } else {
            size_t start = p;
            while (p < n && !IsBlank(line[p]) && line[p] != ',' && line[p] != '\0')
                ++p;
            field = line.substr(start, p - start);
        }
        fields.push_back(std::move(field));
        skipBlanks();
        if (p < n && line[p] == ',') {
            if (p + 1 == n)
                fields.emplace_back();
            ++p;
            skipBlanks();
        }
    }
    return fields;
}

std::vector<TCSVRow> CSVTextToRows(const std::string& text, size_t columnCount)
{
    std::vector<TCSVRow> rows;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        size_t stop = end == std::string::npos ? text.size() : end;
        std::string line = text.substr(start, stop - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        TCSVRow fields = SplitCommaText(line);
        if (fields.size() == columnCount)
            rows.push_back(std::move(fields));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return rows;
}

bool ListViewToCSVFile(QTreeWidget* list, const std::string& fileName, bool header)
{
    try {
        const int columns = list->columnCount();
        std::string text;
        if (header) {
            TCSVRow captions;
            for (int c = 0; c < columns; ++c)
                captions.push_back(StdStr(list->headerItem()->text(c)));
            text += CSVLineText(captions) + "\r\n";
        }
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            text += CSVLineText(RowOf(list->topLevelItem(i), columns)) + "\r\n";
        if (!AtomicWriteFile(fileName, text))
            throw std::runtime_error("Cannot create file \"" + fileName + "\"");
        return true;
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "ListViewToCSVFile " + fileName, kUnit);
        // Shown once the caller has finished: a list saved while a report is handled never
        // waits on a person.
        QString text = QStr(e.what());
        QTimer::singleShot(0, list, [list, text] { ShowMessageBox(list, text, QString(), TBoxIcon::None); });
        return false;
    }
}

void CSVFileToListView(QTreeWidget* list, const std::string& fileName)
{
    list->clear();
    std::string text;
    if (!ReadWholeFile(fileName, text))
        return;
    const int columns = list->columnCount();
    // Rows read back are aligned as their columns are, like rows the list's owner adds.
    const QTreeWidgetItem* header = list->headerItem();
    QList<QTreeWidgetItem*> items;
    for (const TCSVRow& row : CSVTextToRows(text, static_cast<size_t>(columns))) {
        auto* item = new QTreeWidgetItem;
        for (int c = 0; c < columns; ++c) {
            item->setText(c, QStr(row[static_cast<size_t>(c)]));
            const QVariant alignment = header->data(c, Qt::TextAlignmentRole);
            if (alignment.isValid())
                item->setData(c, Qt::TextAlignmentRole, alignment);
        }
        items.append(item);
    }
    list->setUpdatesEnabled(false);
    list->addTopLevelItems(items);
    list->setUpdatesEnabled(true);
}

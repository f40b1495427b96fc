#include "tests/support/journal_fields.h"

#include <cstdlib>

JournalFields ParseJournalFields(const std::string& line)
{
    JournalFields fields;
    size_t pos = 0;
    while (pos < line.size()) {
        size_t start = line.find_first_not_of(' ', pos);
        if (start == std::string::npos) {
            break;
        }
        size_t eq = line.find('=', start);
        size_t space = line.find(' ', start);
        if (eq == std::string::npos || (space != std::string::npos && space < eq)) {
            pos = space == std::string::npos ? line.size() : space;  // the library and export words
            continue;
        }
        std::string key = line.substr(start, eq - start);
        std::string value;
        pos = eq + 1;
        if (pos < line.size() && line[pos] == '"') {
            ++pos;
            while (pos < line.size() && line[pos] != '"') {
                if (line.compare(pos, 2, "\\x") == 0 && pos + 4 <= line.size()) {
                    value.push_back(static_cast<char>(std::strtol(line.substr(pos + 2, 2).c_str(), nullptr, 16)));
                    pos += 4;
                } else {
                    value.push_back(line[pos++]);
                }
            }
            ++pos;  // closing quote
        } else {
            size_t end = line.find(' ', pos);
            if (end == std::string::npos) {
                end = line.size();
            }
            value = line.substr(pos, end - pos);
            pos = end;
        }
        fields[key] = value;
    }
    return fields;
}

#include "tools/status_printer.h"

#include <cstdlib>

#include <nlohmann/json.hpp>

#include "status/status_tables.h"

void PrintStatusTable(const StatusTable& table, const std::string& name, bool json, FILE* out,
                      FILE* err) {
    using Kind = StatusTable::Kind;
    if (!json) {
        std::string line;
        for (const auto& column : table.columns)
            line += (line.empty() ? "" : "\t") + std::string(column.name);
        std::fprintf(out, "%s\n", line.c_str());
    }
    for (const StatusTable::Row& row : table.rows) {
        if (json) {
            nlohmann::ordered_json object;
            object["table"] = name;
            for (size_t i = 0; i < table.columns.size() && i < row.cells.size(); i++) {
                const std::string& cell = row.cells[i];
                auto& member = object[table.columns[i].name];
                if (cell.empty() && table.columns[i].kind != Kind::kText)
                    member = nullptr;
                else if (table.columns[i].kind == Kind::kNumber)
                    member = cell.find('.') == std::string::npos
                                 ? nlohmann::ordered_json(std::strtoull(cell.c_str(), nullptr, 10))
                                 : nlohmann::ordered_json(std::strtod(cell.c_str(), nullptr));
                else if (table.columns[i].kind == Kind::kFlag)
                    member = cell == "yes";
                else
                    member = cell;
            }
            std::fprintf(
                out, "%s\n",
                object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        } else {
            std::string line;
            for (size_t i = 0; i < row.cells.size(); i++) line += (i ? "\t" : "") + row.cells[i];
            std::fprintf(out, "%s\n", line.c_str());
        }
    }
    for (const std::string& note : table.notes)
        std::fprintf(err, "quillon-dump: %s\n", note.c_str());
}

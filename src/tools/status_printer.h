#pragma once

#include <cstdio>
#include <string>

struct StatusTable;

// Writes one network-status table to out: tab-separated with a header line, or JSON Lines (one
// object a row, keyed by the column names, with "table": name first; numbers as numbers, flags
// as booleans, empty cells as null). Its notes go to err, one line each.
void PrintStatusTable(const StatusTable& table, const std::string& name, bool json, FILE* out,
                      FILE* err);

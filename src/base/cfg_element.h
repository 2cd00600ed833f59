#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// Thrown by CfgElement::load.
struct CfgFileErr {
    enum : int32_t {
        OPEN = 1,    // the file cannot be opened
        FORMAT = 2,  // malformed input
        END = 3,     // an "[END]" line outside any group
    };
    int32_t code;
    // The line of the problem (1 = first; for a group not closed, the group's line); 0 for OPEN.
    int32_t line;
    std::string reason;  // what is wrong there, for the user
};

// One element of the text configuration format used by the preferences and the network
// configuration files:
//
//   [Group]
//      Name:Value
//      [Inner]
//         ...
//      [END]
//   [END]
//
// An element with children is written as a group, one without as a leaf line.
class CfgElement {
  public:
    CfgElement() = default;
    explicit CfgElement(std::string name, std::string value = {})
        : name(std::move(name)), value(std::move(value)) {}

    void addChild(std::unique_ptr<CfgElement> child) { children.push_back(std::move(child)); }
    void addLeaf(std::string leafName, std::string leafValue) {
        addChild(std::make_unique<CfgElement>(std::move(leafName), std::move(leafValue)));
    }

    // Writes the element and everything below it. 0 on success, WRITE_FAILED when the stream
    // reported an error; save(path) also gives OPEN_FAILED when the file cannot be created, and
    // BAD_TEXT when a name or value holds a line break. A failed save(path) leaves the old file.
    enum : int { OPEN_FAILED = 1, WRITE_FAILED = 2, BAD_TEXT = 3 };
    int save(FILE* fp, const std::string& indent) const;
    int save(const char* path) const;

    // Reads the next element with all its children; null when the input ends first.
    // Throws CfgFileErr on bad input. load(path) reads the file's first element only.
    static std::unique_ptr<CfgElement> load(FILE* fp);
    static std::unique_ptr<CfgElement> load(const char* path);

    std::vector<std::unique_ptr<CfgElement>> children;
    std::string name;
    std::string value;
    // The line of the input the element was read from (1 = first line the load read); 0 for an
    // element built in memory. Lets readers of a file name the line of a value they refuse.
    int line = 0;

  private:
    bool HasLineBreak() const;
    // Writes the element, flushes (and with sync, syncs) and closes fp.
    int saveAndClose(FILE* fp, bool sync) const;
};

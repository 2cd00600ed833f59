#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// One object of a device's dictionary, under its packed key index << 16 | sub-index.
struct ObjInfo {
    // An entry with the default name: "object 0x%04x", or "object 0x%04x.0x%02x" for a
    // non-zero sub-index.
    explicit ObjInfo(uint32_t key);
    ObjInfo(uint32_t key, int32_t dataType, int32_t extType, char displayFmt, std::string name)
        : key(key),
          dataType(dataType),
          extType(extType),
          displayFmt(displayFmt),
          name(std::move(name)) {}

    uint32_t key;
    int32_t dataType = -1;       // "DataType"
    int32_t extType = -1;        // "ExtendedType"
    char displayFmt = 'x';       // first character of "DisplayFmt"
    std::string name;            // "ParameterName"
    std::string defaultValue;    // "DefaultValue", as written (may use $NODEID)
    std::string parameterValue;  // "ParameterValue" of a configuration file, as written

    // The value the object has at power-on on node nodeId: ParameterValue when there is one,
    // else DefaultValue, with "$NODEID" standing for the node-ID; false when neither holds a
    // number.
    bool PowerOnValue(int nodeId, uint64_t* value) const;
};

// The objects of one EDS file. Entries, once stored, stay for the dictionary's life; looking up
// a missing key stores a default entry. `lock` guards `objects`, so lookups from the decoding
// threads may insert while other threads read.
class CANopenObjDict {
  public:
    CANopenObjDict() = default;
    CANopenObjDict(int count, const ObjInfo* table) { Load(count, table); }
    CANopenObjDict(const CANopenObjDict&) = delete;
    CANopenObjDict& operator=(const CANopenObjDict&) = delete;

    // Stores copies of the table's entries; a later key replaces an earlier one.
    void Load(int count, const ObjInfo* table);
    // Reads an EDS file; with outPath, also writes it as a generated table of entries.
    // Throws QuillonError 12 "Unable to open file" / "Unable to open output file".
    void Load(const std::string& path, const char* outPath);
    // The same from open streams (table may be null).
    void Load(FILE* in, FILE* table, const std::string& path);
    // Never null.
    ObjInfo* getInfo(uint32_t key);
    // Null when the file has no such object; never stores an entry.
    const ObjInfo* Find(uint32_t key);
    size_t Count();
    // What the files read could not take, one "path:line: what" each: a section header without
    // its "]" (its entries belong to no object).
    std::vector<std::string> Problems();

  private:
    std::mutex lock;  // guards objects and problems
    std::map<uint32_t, std::unique_ptr<ObjInfo>> objects;
    std::vector<std::string> problems;
};

// Every dictionary read, by EDS path exactly as given; a null value records a path whose last
// load failed. Its owner (the network configuration) keeps it for as long as anything points into
// it.
class EdsList {
  public:
    // The shared dictionary of an EDS file, read on first use and kept from then on; null when the
    // file cannot be read or holds no object (then it is tried again next time).
    CANopenObjDict* LoadEDS(const std::string& path);
    CANopenObjDict* Find(const std::string& path);

  private:
    std::mutex lock;  // guards dicts
    std::map<std::string, std::unique_ptr<CANopenObjDict>> dicts;
};

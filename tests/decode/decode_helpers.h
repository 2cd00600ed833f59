#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/utils.h"
#include "decode/obj_dict.h"
#include "decode/object_names.h"
#include "decode/parser.h"

using Lines = std::vector<std::string>;

// What a decoder makes of a frame: the short description, the status it leaves, then the lines
// as "first count level text", sub-lines indented by two blanks.
inline Lines Decode(Parser& parser, const CANframe& frame) {
    CANframe copy(frame), again(frame);
    Lines d{parser.GetShortDesc(copy), std::to_string(copy.status)};
    std::unique_ptr<ParsedMessage> m(parser.Parse(again));
    for (int row = 0; row < m->numFrags; row++)
        for (int col = 0; col < ParsedMessage::kCols; col++)
            if (const ParseFrag* f = m->getFrag(row, col))
                d.push_back(Format("%s%d %d %d ", col ? "  " : "", f->first, f->count,
                                   static_cast<int>(f->level)) +
                            f->text);
    return d;
}

// The dictionaries of port 0's nodes, from EDS files of the golden cases' folder.
class TestDictionaries : public ObjectNames {
  public:
    explicit TestDictionaries(const std::vector<std::pair<int, std::string>>& files) {
        for (const auto& [id, file] : files) dicts[id].Load(TEST_DATA_DIR "/" + file, nullptr);
    }
    bool ObjName(int port, int id, uint32_t key, std::string* name) override {
        CANopenObjDict* dict = Dictionary(port, id);
        if (dict) *name = dict->getInfo(key)->name;
        return dict != nullptr;
    }
    CANopenObjDict* Dictionary(int port, int id) override {
        auto it = dicts.find(id);
        return port == 0 && it != dicts.end() ? &it->second : nullptr;
    }

  private:
    std::map<int, CANopenObjDict> dicts;
};

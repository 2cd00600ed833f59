#pragma once

#include <FL/Fl_Group.H>
#include <gtest/gtest.h>

#include <string>

// The widget labelled label in group or in a group inside it, the first in child order; null
// when there is none.
inline Fl_Widget* FindLabelled(Fl_Group* group, const std::string& label) {
    for (int i = 0; i < group->children(); i++) {
        Fl_Widget* w = group->child(i);
        if (w->label() && label == w->label()) return w;
        if (Fl_Group* inner = w->as_group())
            if (Fl_Widget* found = FindLabelled(inner, label)) return found;
    }
    return nullptr;
}

// The same, where a missing widget is a test failure; group itself then stands in, so that the
// test goes on to its other checks.
inline Fl_Widget* Labelled(Fl_Group* group, const std::string& label) {
    if (Fl_Widget* w = FindLabelled(group, label)) return w;
    ADD_FAILURE() << "no widget labelled " << label;
    return group;
}

#pragma once

// The HTML help page of a dialog: "filter", "netcfg" or "analyzer"; "Unknown help tag" for
// any other tag.
const char* GetHelpText(const char* tag);

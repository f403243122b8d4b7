#pragma once
// One pending piece of text of a text object: the text record appends it, and
// the next scene update lays it out into per-character children.

#include <string>

#include "foundation/report_once.h"
#include "foundation/types.h"

struct classTextRequest {
    std::string text;  // UTF-8, with its inline tags
    int64 fontNumber = 0;
    int64 colour = 0;        // low 24 bits RGB; any higher bit leaves the character untinted
    int64 speed = 0;         // ms between the starts of two characters; 0 = all at once
    int64 fadeMode = 0;      // 1 = each character fades in over fadeTime
    int64 fadeTime = 0;      // ms
    u8 repeat = 0;           // 1 = the appearance repeats for ever
    int64 repeatPeriod = 0;  // ms, when repeat is set
    // The statement that wrote the text: it is laid out at a later update,
    // and what cannot be drawn is said with its line.
    classScriptOrigin origin = {};
};

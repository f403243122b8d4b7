#pragma once
// The text and page commands. "GraphicTextOut" hands a piece of text to a
// text object, which lays it out character by character at its next scene
// update, and writes what the main text box (object 100 and everything under
// it) shows into the backlog; "PageFeed" clears a text object for the next
// page and closes the page's backlog entry. "OrignalCharactorSet" and
// "GraphicCharactorSet" make some characters of a font draw from images:
// tinted like text, or in the images' own colours.
//
// The text records go to the end of the main queue uncommitted, as every
// graphic command's do; the text shows after the next commit. No handler
// writes a result.

#include <vector>

#include "foundation/types.h"

class classScriptContext;
class classScriptValue;

bool CommandGraphicTextOut(classScriptContext& context, const std::vector<classScriptValue>& arguments,
                           int32 count, classScriptValue& result);
bool CommandPageFeed(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count,
                     classScriptValue& result);
bool CommandOrignalCharactorSet(classScriptContext& context, const std::vector<classScriptValue>& arguments,
                                int32 count, classScriptValue& result);
bool CommandGraphicCharactorSet(classScriptContext& context, const std::vector<classScriptValue>& arguments,
                                int32 count, classScriptValue& result);

#pragma once
// The graphic commands: create, alter and delete graphic objects, give them
// image, movie, filter or save-thumbnail textures, and drive their movies.
// None touches an object: each builds records, appends them to the main
// queue uncommitted (also when run on a Function thread) and returns; the
// render thread carries them out after the next commit, in posting order.
// Parameters 0 and 1 are always "Target" (scene mask, default 1: the main
// scene) and "Layer" (the object's key path). No handler writes a result.

#include <string>
#include <vector>

#include "foundation/types.h"

class classScriptContext;
class classScriptValue;

bool Builtin_Graphic(classScriptContext& context, const std::vector<classScriptValue>& arguments, int32 count,
                     classScriptValue& result);
bool Builtin_GraphicAlter(classScriptContext& context, const std::vector<classScriptValue>& arguments,
                          int32 count, classScriptValue& result);
bool Builtin_GraphicDelete(classScriptContext& context, const std::vector<classScriptValue>& arguments,
                           int32 count, classScriptValue& result);
bool Builtin_GraphicFilter(classScriptContext& context, const std::vector<classScriptValue>& arguments,
                           int32 count, classScriptValue& result);
bool Builtin_GraphicPlay(classScriptContext& context, const std::vector<classScriptValue>& arguments,
                         int32 count, classScriptValue& result);
bool Builtin_GraphicStop(classScriptContext& context, const std::vector<classScriptValue>& arguments,
                         int32 count, classScriptValue& result);
bool Builtin_GraphicPouse(classScriptContext& context, const std::vector<classScriptValue>& arguments,
                          int32 count, classScriptValue& result);
bool Builtin_GraphicPlayDataThumbnail(classScriptContext& context,
                                      const std::vector<classScriptValue>& arguments, int32 count,
                                      classScriptValue& result);

// True when `name` ends with `suffix`, ASCII letters compared without regard
// to case; a name shorter than the suffix never matches.
bool EndsWithNoCase(const std::string& name, const char* suffix);

#pragma once
// Turns a script name into compiled tables. The file is read through the
// archives (then the loose file); one that begins with "QVS002" is a compiled
// image and is taken as it is, anything else is source text: converted to
// UTF-8 by its byte-order mark (CP932 without one), handed to the optional
// pre-converter and compiled.
//
// The pre-converter is "Text2qvs.so" in the working directory, a library of
// the game's authors; its absence is normal. Its entry point, which any
// stand-in must keep:
//
//   uint8_t ScriptPreConvert(const char* scriptName, const char* text,
//                            uint32_t textLength, uint32_t reserved /* 0 */,
//                            void** handle, uint32_t* handleSize);
//
// *handle starts null and *handleSize 0. A library that converts the text
// sets *handle to a block holding the new text, *handleSize to its size in
// bytes, and returns 1; the text then becomes those bytes (up to a NUL).
// Whatever it returns, the caller releases a non-null handle: with the
// library's "ScriptPreConvertFree" (void (*)(void*)) when it exports one,
// with free() otherwise.

#include <mutex>
#include <string>

#include "script/script_record.h"

// Guards the one-time load of the pre-converter and every call of it. A leaf:
// nothing else is taken while it is held.
extern std::mutex g_preConvertLock;

// False when the name is empty, the file cannot be read (after the file
// error box) or is empty, or the text is empty after conversion; `out` is
// then left as it was. A compile never fails.
bool LoadScriptTables(const std::string& name, classScriptTables& out);

// Runs the pre-converter over `text` when the library is there; loads it on
// first need and retries a failed load at the next script.
void PreConvertScript(const std::string& name, std::string& text);

// Makes frames load their scripts through LoadScriptTables. Called once at
// start-up, before any script thread runs.
void InstallScriptLoader();

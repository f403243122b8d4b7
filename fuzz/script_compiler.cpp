// Compiles arbitrary bytes and checks what every compile must leave behind:
// no crash, no hang, every statement, argument and pool item inside its
// table, and every label and block target inside the statement table or -1.
// The first byte picks whether the bytes are compiled as they are or first
// go through the byte-order conversion the loader uses.
#include "script/script_compiler.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "foundation/text_encoding.h"
#include "platform/dialog.h"
#include "script/declared_names.h"
#include "script/table_invariants.h"

namespace {

// Unterminated literals would print a box per iteration.
class SilentDialogs final : public platform::DialogService {
  public:
    platform::DialogAnswer Show(const std::string&, const std::string&, platform::DialogButtons buttons,
                                platform::DialogIcon) override {
        return platform::HeadlessAnswer(buttons);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SilentDialogs dialogs;
    platform::SetDialogService(&dialogs);
    if (size == 0) return 0;
    const bool convert = (data[0] & 1) != 0;
    std::string text;
    if (convert)
        TextToUtf8ByBom(text, data + 1, size - 1, 1);
    else
        text.assign(reinterpret_cast<const char*>(data + 1), size - 1);

    // Run-wide declarations would pile up across inputs.
    ClearDeclaredNames();
    classScriptCompiler compiler("fuzz.qvs");
    compiler.SetChainMemory(compilerchains::Memory::Always);
    compiler.Compile(text);
    std::string why;
    if (!CheckCompiledTables(compiler.Tables(), &why)) {
        std::fprintf(stderr, "broken tables: %s\n", why.c_str());
        __builtin_trap();
    }

    // What the parser remembers of the expressions it has split must give
    // the tables that splitting afresh from every name gives.
    ClearDeclaredNames();
    classScriptCompiler fresh("fuzz.qvs");
    fresh.SetChainMemory(compilerchains::Memory::Never);
    fresh.Compile(text);
    if (!(fresh.Tables() == compiler.Tables())) {
        std::fprintf(stderr, "remembered splits changed the tables\n");
        __builtin_trap();
    }

    // Operators, labels, strings, integers and reals are shared: a compile
    // never makes two equal ones.
    std::set<std::string> keys;
    const classScriptTables& tables = compiler.Tables();
    for (const classScriptRecord& record : tables.RecordTable()) {
        std::string key(1, static_cast<char>(record.type));
        switch (record.type) {
            case ScriptRecordOperator:
            case ScriptRecordLabel:
                key += tables.GetTextA(record);
                break;
            case ScriptRecordString:
                key += tables.GetTextB(record);
                break;
            case ScriptRecordInteger:
                key += std::to_string(*tables.GetInteger(record));
                break;
            case ScriptRecordReal: {
                const double value = *tables.GetReal(record);
                if (value != value) continue;  // NaN equals nothing, itself included
                key += std::to_string(value == 0.0 ? 0.0 : value) + "/" +
                       std::to_string(std::hash<double>{}(value));
                break;
            }
            default:
                continue;
        }
        if (!keys.insert(key).second) {
            std::fprintf(stderr, "two equal shared records\n");
            __builtin_trap();
        }
    }

    // Assignments compile the tokens after "=" as they stand instead of
    // joining them with spaces and splitting again; that is only sound if
    // the split of the joined tokens always gives the same tokens.
    std::vector<std::string> tokens;
    std::vector<std::string> again;
    const std::size_t step = text.size() / 32 + 1;
    for (std::size_t p = 0; p < text.size(); p += step) {
        const std::size_t consumed = compiler.SplitExpressionTokens(text, p, tokens);
        if (tokens.size() < 2) continue;            // a single token may be a joined path
        if (p + consumed >= text.size()) continue;  // closers may have been appended
        if (classScriptCompiler::NeedsResplit(std::vector<std::string_view>(tokens.begin(), tokens.end())))
            continue;
        std::string joined;
        for (const std::string& token : tokens) joined += token + ' ';
        compiler.SplitExpressionTokens(joined, 0, again);
        if (again != tokens) {
            std::fprintf(stderr, "tokens changed when joined at %zu\n", p);
            __builtin_trap();
        }
    }
    return 0;
}

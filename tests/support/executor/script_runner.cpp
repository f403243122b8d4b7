#include "support/executor/script_runner.h"

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include "commands/command_table.h"
#include "script/declared_names.h"
#include "script/global_variables.h"
#include "script/script_compiler.h"

namespace testexec {

namespace {

std::mutex g_sourcesLock;
std::map<std::string, std::string> g_sources;  // guarded by g_sourcesLock

bool ReadDataScript(const std::string& name, std::string& text) {
    const char* root = std::getenv("VELK2_TEST_DATA");
    if (root == nullptr) return false;
    std::string path = std::string(root) + "/scripts/";
    for (char c : name) path += c == '\\' ? '/' : c;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    text = bytes.str();
    return true;
}

bool TestLoader(const std::string& name, classScriptTables& out) {
    std::string text;
    bool found = false;
    {
        std::lock_guard<std::mutex> hold(g_sourcesLock);
        auto it = g_sources.find(name);
        if (it != g_sources.end()) {
            text = it->second;
            found = true;
        }
    }
    if (!found && !ReadDataScript(name, text)) return false;
    if (text.empty()) return false;
    if (text.compare(0, 6, "QVS002") == 0) {
        out.ReadImage(reinterpret_cast<const u8*>(text.data()), text.size());
        return true;
    }
    classScriptCompiler compiler(name);
    compiler.Compile(text);
    out = compiler.TakeTables();
    return true;
}

std::string RenderReal(double value) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, end) : "?";
}

}  // namespace

std::string Render(const classScriptValue& value) {
    switch (value.tag) {
        case ScriptValueEmpty:
            return "-";
        case ScriptValueInteger:
            return "i:" + std::to_string(value.integer);
        case ScriptValueReal:
            return "r:" + RenderReal(value.real);
        case ScriptValueString:
            return "s:" + value.text;
        case ScriptValueLabel:
            return value.text + "@" + std::to_string(value.integer);
        case ScriptValueOperator:
            return "op:" + value.text;
        case ScriptValueList: {
            std::string out = "(";
            for (size_t i = 0; i < value.children.size(); ++i) {
                if (i > 0) out += ", ";
                out += Render(value.children[i]);
            }
            return out + ")";
        }
        default:
            return "?" + std::to_string(value.tag);
    }
}

void AddSource(const std::string& name, const std::string& text) {
    std::lock_guard<std::mutex> hold(g_sourcesLock);
    g_sources[name] = text;
}

void ClearSources() {
    std::lock_guard<std::mutex> hold(g_sourcesLock);
    g_sources.clear();
}

void InstallLoader() {
    SetScriptLoader(TestLoader);
}

void RecordingTable::Install(classScriptContext& context) {
    context.SetCommandDispatcher(&Dispatch, this);
}

void RecordingTable::Dispatch(void* user, int32 index, classScriptContext& context,
                              const std::vector<classScriptValue>& arguments, int32 count,
                              classScriptValue& result) {
    auto* self = static_cast<RecordingTable*>(user);
    if (++self->calls_ > self->callLimit && self->host_ != nullptr) self->host_->quitRequested.store(true);
    const std::string name = g_builtinCommandTable[index].name;
    if (name != "=" || self->recordAssignments) {
        std::string entry = name + "(";
        for (int32 k = 0; k < count && static_cast<size_t>(k) < arguments.size(); ++k) {
            if (k > 0) entry += ", ";
            entry += Render(arguments[static_cast<size_t>(k)]);
        }
        entry += ")";
        if (self->recordSkipFlag && context.skipFlag.load()) entry += "+skip";
        self->trace.push_back(entry);
    }
    auto it = self->handlers_.find(name);
    if (it != self->handlers_.end())
        it->second(context, arguments, count, result);
    else
        CallBuiltinCommand(index, context, arguments, count, result);
}

void RecordingTable::HandleFlowCommands(TestHost& host) {
    host_ = &host;
    Handle("IsNowSkipping",
           [](classScriptContext& context, const std::vector<classScriptValue>&, int32,
              classScriptValue& result) { result.SetInteger(context.skipFlag.load() ? 1 : 0); });
}

ScriptRun::ScriptRun() {
    InstallLoader();
    ClearDeclaredNames();
    SetScriptHost(&host);
    host.mainContext.store(&context);
    g_globalVariables.Clear();
    g_nomalVariables.Clear();
    g_systemVariables.Clear();
    g_autoSnapshotTaken.store(false);
    table.Install(context);
    table.HandleFlowCommands(host);
}

ScriptRun::~ScriptRun() {
    context.Reset();
    SetScriptHost(nullptr);
    ClearSources();
}

void ScriptRun::Run(const std::string& name) {
    context.Run(&name);
}

std::string ScriptRun::Global(const std::string& name, int64 index) const {
    classScriptValue value;
    if (!g_globalVariables.TryGet(name, index, value)) return "-";
    return Render(value);
}

std::string ScriptRun::Nomal(const std::string& name, int64 index) const {
    classScriptValue value;
    if (!g_nomalVariables.TryGet(name, index, value)) return "-";
    return Render(value);
}

}  // namespace testexec

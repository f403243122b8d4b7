#include "script/global_variables.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "script/script_record.h"
#include "support/script/values.h"

namespace {

// The stores are process-wide; every test starts them empty.
class GlobalStores : public ::testing::Test {
  protected:
    void SetUp() override {
        g_globalVariables.Clear();
        g_nomalVariables.Clear();
        g_systemVariables.Clear();
    }
    void TearDown() override { SetUp(); }
};

using testscript::I;

TEST_F(GlobalStores, EachRecordTypeHasItsOwnStore) {
    EXPECT_EQ(GetGlobalVariableStore(ScriptRecordGlobal), &g_globalVariables);
    EXPECT_EQ(GetGlobalVariableStore(ScriptRecordNomal), &g_nomalVariables);
    EXPECT_EQ(GetGlobalVariableStore(ScriptRecordSystem), &g_systemVariables);
    EXPECT_EQ(GetGlobalVariableStore(ScriptRecordLocal), nullptr);
    EXPECT_EQ(GetGlobalVariableStore(ScriptRecordTmp), nullptr);

    g_globalVariables.Set("x", 0, I(1));
    g_nomalVariables.Set("x", 0, I(2));
    g_systemVariables.Set("x", 0, I(3));
    EXPECT_EQ(g_globalVariables.Get("x", 0).integer, 1);
    EXPECT_EQ(g_nomalVariables.Get("x", 0).integer, 2);
    EXPECT_EQ(g_systemVariables.Get("x", 0).integer, 3);
    g_nomalVariables.Clear();
    EXPECT_EQ(g_nomalVariables.Size(), 0u);
    EXPECT_EQ(g_globalVariables.Size(), 1u);
}

TEST_F(GlobalStores, GetCreatesTryGetDoesNot) {
    classScriptValue out;
    EXPECT_FALSE(g_globalVariables.TryGet("never", 0, out));
    EXPECT_EQ(g_globalVariables.Size(), 0u);
    EXPECT_EQ(g_globalVariables.Get("never", 0).tag, ScriptValueEmpty);
    EXPECT_EQ(g_globalVariables.Size(), 1u);
    EXPECT_TRUE(g_globalVariables.TryGet("never", 0, out));
}

TEST_F(GlobalStores, ValuesGoInAndComeOutAsCopies) {
    classScriptValue v = I(5);
    g_globalVariables.Set("v", 0, v);
    v.SetInteger(6);
    classScriptValue got = g_globalVariables.Get("v", 0);
    got.SetInteger(7);
    EXPECT_EQ(g_globalVariables.Get("v", 0).integer, 5);
    g_globalVariables.Update("v", 0, [](classScriptValue& value) { value.SetInteger(value.integer + 10); });
    EXPECT_EQ(g_globalVariables.Get("v", 0).integer, 15);
}

TEST_F(GlobalStores, RecordsSaveAndReplaceAStoreInListOrder) {
    g_nomalVariables.Set("b", 0, I(2));
    g_nomalVariables.Set("a", 1, I(1));
    std::vector<u8> saved;
    g_nomalVariables.WriteRecord(saved);
    EXPECT_EQ(saved.size(), 2u * (32 + 2 + 48));

    g_nomalVariables.Clear();
    g_nomalVariables.Set("from.other.game", 0, I(9));
    g_nomalVariables.ReadRecord(saved.data(), saved.size());
    const std::vector<classScriptVariable> now = g_nomalVariables.Snapshot();
    ASSERT_EQ(now.size(), 2u);  // the other game's variable is gone
    EXPECT_EQ(now[0].name, "b");
    EXPECT_EQ(now[1].name, "a");
    EXPECT_EQ(now[1].index, 1);
    EXPECT_EQ(now[1].value.integer, 1);
}

// Script threads read and write their own variables while one thread keeps
// saving, loading and resetting the stores. Each writer owns its names, so
// whatever it reads back is either its own last value or, after a reset,
// empty; anything else is a lost or torn update.
TEST_F(GlobalStores, ThreadsReadAndWriteWhileAnotherResets) {
    constexpr int kWriters = 4;
    constexpr int kRounds = 3000;
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};

    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([w, &bad] {
            classGlobalVariableStore* stores[] = {&g_globalVariables, &g_nomalVariables, &g_systemVariables};
            const std::string name = "thread" + std::to_string(w);
            for (int i = 0; i < kRounds; ++i) {
                classGlobalVariableStore& store = *stores[i % 3];
                const int64 slot = i % 7;
                store.Set(name, slot, I(i));
                const classScriptValue back = store.Get(name, slot);
                if (!(back.tag == ScriptValueEmpty || (back.tag == ScriptValueInteger && back.integer == i)))
                    ++bad;
                store.Update(name, -1, [&](classScriptValue& v) { v.SetInteger(v.integer + 1); });
                classScriptValue peek;
                if (store.TryGet("thread0", slot, peek) &&
                    !(peek.tag == ScriptValueEmpty || peek.IsInteger()))
                    ++bad;
                if (g_nomalVariables.TryGet("loaded", slot, peek) &&
                    !(peek.IsInteger() && peek.integer == slot))
                    ++bad;
            }
        });
    }
    std::thread resetter([&stop] {
        // A load brings in a saved game's own variables, never the writers' names.
        classScriptVariableList saved;
        for (int k = 0; k < 10; ++k) saved.FindOrAdd("loaded", k)->SetInteger(k);
        std::vector<u8> record;
        WriteVariableList(saved, record);
        std::vector<u8> scratch;
        int round = 0;
        while (!stop.load()) {
            switch (round++ % 4) {
                case 0:
                    g_globalVariables.Clear();
                    break;
                case 1:
                    g_nomalVariables.ReadRecord(record.data(), record.size());
                    break;
                case 2:
                    g_systemVariables.Clear();
                    break;
                default:
                    scratch.clear();
                    g_globalVariables.WriteRecord(scratch);
                    (void)g_nomalVariables.Snapshot();
                    break;
            }
        }
    });
    for (std::thread& t : writers) t.join();
    stop = true;
    resetter.join();
    EXPECT_EQ(bad.load(), 0);
}

}  // namespace

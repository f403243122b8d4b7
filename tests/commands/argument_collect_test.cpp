// Flattening of vector and path arguments.

#include "commands/argument_collect.h"

#include <gtest/gtest.h>

#include "script/script_value.h"

namespace {

classScriptValue Integer(int64 v) {
    classScriptValue x;
    x.SetInteger(v);
    return x;
}
classScriptValue Real(double v) {
    classScriptValue x;
    x.SetReal(v);
    return x;
}
classScriptValue Text(const char* s) {
    classScriptValue x;
    x.SetString(s);
    return x;
}
classScriptValue List(std::vector<classScriptValue> children) {
    classScriptValue x;
    x.MakeList();
    x.children = std::move(children);
    return x;
}

TEST(ArgumentCollect, NestedListsFlattenDepthFirst) {
    classScriptValue operatorToken;
    operatorToken.SetOperator("+");
    classScriptValue label;
    label.SetLabel("#a", 3);
    // (1, (2.5, "4"), +, (), #a, empty, 7)
    const classScriptValue path = List({Integer(1), List({Real(2.5), Text("4")}), operatorToken, List({}),
                                        label, classScriptValue{}, Integer(7)});
    std::vector<double> reals;
    EXPECT_TRUE(CollectArgumentDoubles(reals, path));
    EXPECT_EQ(reals, (std::vector<double>{1.0, 2.5, 4.0, 7.0}));
    std::vector<int64> integers;
    EXPECT_TRUE(CollectArgumentIntegers(integers, path));
    EXPECT_EQ(integers, (std::vector<int64>{1, 2, 4, 7}));
}

TEST(ArgumentCollect, ScalarsStandAlone) {
    std::vector<int64> integers;
    EXPECT_TRUE(CollectArgumentIntegers(integers, Real(-2.9)));
    EXPECT_TRUE(CollectArgumentIntegers(integers, Real(2.9)));
    EXPECT_TRUE(CollectArgumentIntegers(integers, Text("12")));
    EXPECT_EQ(integers, (std::vector<int64>{-2, 2, 12}));
    std::vector<double> reals{9.0};
    EXPECT_TRUE(CollectArgumentDoubles(reals, Integer(3)));
    EXPECT_EQ(reals, (std::vector<double>{9.0, 3.0})) << "appends to what the list held";
}

TEST(ArgumentCollect, NothingToCollect) {
    std::vector<double> reals;
    EXPECT_FALSE(CollectArgumentDoubles(reals, classScriptValue{}));
    EXPECT_FALSE(CollectArgumentDoubles(reals, List({List({}), classScriptValue{}})));
    classScriptValue operatorToken;
    operatorToken.SetOperator("*");
    EXPECT_FALSE(CollectArgumentDoubles(reals, operatorToken));
    EXPECT_TRUE(reals.empty());
}

TEST(ArgumentCollect, TheArgumentIsNotChanged) {
    const classScriptValue text = Text("5");
    std::vector<int64> integers;
    CollectArgumentIntegers(integers, text);
    EXPECT_EQ(text.tag, static_cast<u32>(ScriptValueString));
    EXPECT_EQ(text.integer, 0);
}

}  // namespace

// The declaration pre-pass: statements and their lines, one-line IF, text
// blocks, modules, functions, OPTION, DEF_DLL and the errors at once.
#include <gtest/gtest.h>

#include "engine/loader/prepass.h"
#include "engine/values/evaluator.h"
#include "support/messages.h"
#include "support/utf.h"
#include "../store_host.h"

namespace vesk {
namespace {

using Lines = std::vector<std::u16string>;


class Prepass : public ::testing::Test {
 protected:
  void SetUp() override {
    set_message_language_japanese(false);
    m_store.set_evaluator([this](std::u16string_view text, THensuFmt& frame) -> std::optional<Value> {
      StoreHost host(m_store, frame);
      EvalResult r = evaluate(*compile_expression(text), host);
      if (r.failed) return std::nullopt;
      return r.value;
    });
  }

  // Runs the pre-pass over a main procedure with [body] and [definitions].
  bool load(const Lines& body, const Lines& definitions = {}) {
    Lines text{u"PROCEDURE __MAIN__()"};
    text.insert(text.end(), body.begin(), body.end());
    text.push_back(u"FEND");
    text.insert(text.end(), definitions.begin(), definitions.end());
    return preprocess(text, m_program, m_store, m_error);
  }
  const std::u16string& code(size_t i) const { return m_program.code.at(i); }
  int32_t kind(size_t i) const { return m_program.kinds.at(i); }
  std::u16string line_number(size_t i) const {
    const std::u16string& entry = m_program.lines.at(i);
    return entry.substr(0, entry.find(u','));
  }
  static std::u16string marker(std::u16string_view text) { return std::u16string(k_error_marker) + std::u16string(text); }
  Value global(std::u16string_view name) { return m_store.read(m_frame, name, {}); }

  VariableStore m_store;
  Program m_program;
  LoadError m_error;
  THensuFmt m_frame;
};

TEST_F(Prepass, OneLineIfGivesFiveStatementsOnItsLine) {
  ASSERT_TRUE(load({u"IF A = 1 THEN B = 2 ELSE B = 3", u"IF F(A)THEN G(1)", u"IF A THEN", u"B = 1", u"ENDIF"}));
  EXPECT_EQ(code(1), u"A = 1`-1`2`4");
  std::vector<int32_t> kinds{12, 0, 14, 0, 13};
  for (size_t i = 1; i <= 5; ++i) {
    EXPECT_EQ(kind(i), kinds[i - 1]) << i;
    EXPECT_EQ(line_number(i), u"1");
  }
  EXPECT_EQ(code(2), u"B = 2");
  EXPECT_EQ(code(4), u"B = 3");
  // The ")" before THEN stays in the condition; no ELSE part is a no-op.
  EXPECT_EQ(code(6), u"F(A)`-1`2`4");
  EXPECT_EQ(code(7), u"G(1)");
  EXPECT_EQ(kind(9), int32_t(StatementKind::Nop));
  // "IF" with nothing after THEN opens a block.
  EXPECT_EQ(code(11), u"A`-1`-1`2");
  EXPECT_EQ(line_number(13), u"5");
}

TEST_F(Prepass, OneLineIfErrors) {
  ASSERT_TRUE(load({u"IF A THEN B = 1; C = 2", u"IF A ELSE B = 1", u"IF A THEN IF B THEN C = 1",
                    u"IF A THEN S = \"IF X \" ;"}));
  EXPECT_EQ(code(1), marker(u"The multi-declaration of the IF line is NG"));
  EXPECT_EQ(code(2), marker(u"THEN: SyntaxError"));
  EXPECT_EQ(code(3), marker(u"SyntaxError-85"));
  EXPECT_EQ(kind(3), 0);
  // A literal can hold IF, and a last ";" is dropped.
  EXPECT_EQ(code(5), u"S = \"IF X \"");
}

TEST_F(Prepass, SemicolonsSplitOutsideLiteralsAndBrackets) {
  ASSERT_TRUE(load({u"A = 1; B = \"x;y\"; C = F(1; 2); D[1;2] = 0;", u"E = 1"}));
  EXPECT_EQ(code(1), u"A = 1");
  EXPECT_EQ(code(2), u"B = \"x;y\"");
  EXPECT_EQ(code(3), u"C = F(1; 2)");
  EXPECT_EQ(code(4), u"D[1;2] = 0");
  for (size_t i = 1; i <= 4; ++i) EXPECT_EQ(line_number(i), u"1");
  EXPECT_EQ(line_number(5), u"2");
}

TEST_F(Prepass, IncludedFileLinesCountInTheirFile) {
  Lines text{u"PROCEDURE __MAIN__()", u"CALL C:\\S\\SUB.VSK()", u"FEND", u"FUNCTION MAINF()", u"RESULT = 1",
             u"FEND", u"PROCEDURE C:\\S\\SUB.VSK()", u"B = 1", u"FEND", u"PROCEDURE P()", u"C = 1", u"FEND"};
  ASSERT_TRUE(preprocess(text, m_program, m_store, m_error)) << utf16_to_utf8(m_error.message);
  std::vector<std::u16string> numbers{u"0", u"1", u"1", u"2", u"3", u"4", u"0", u"1", u"1", u"2", u"3", u"4"};
  for (size_t i = 0; i < numbers.size(); ++i) EXPECT_EQ(line_number(i), numbers[i]) << i;
  EXPECT_EQ(location_text(m_program, 10), u"C:\\S\\SUB.VSK: at line 3: C = 1");
  EXPECT_GE(m_program.find_function(u"C:\\S\\SUB.VSK"), 0);
}

TEST_F(Prepass, EscapesAndMemberCallsAreRewritten) {
  ASSERT_TRUE(load({u"S = \"a<#cr>b<#Tab>\"", u"X = OBJ.ITEM(1).NAME(\"a).b\")", u"Y = F(1)).A"}));
  EXPECT_EQ(code(1), u"S = \"a<#_CR>b<#_TAB>\"");
  EXPECT_EQ(code(2), u"X = OBJ.ITEM[1].NAME(\"a).b\")");
  EXPECT_EQ(code(3), marker(u"SyntaxError-45"));
  EXPECT_EQ(m_program.lines[3], u"3,Y = F(1)).A");
}

TEST_F(Prepass, ResultRules) {
  ASSERT_TRUE(load({}, {u"PROCEDURE P()", u"RESULT = 1", u"IF A THEN RESULT = 2", u"FEND", u"FUNCTION F()",
                        u"S = \"RESULT\"", u"FEND", u"FUNCTION G()", u"IF A THEN RESULT = 1", u"FEND"}));
  EXPECT_EQ(code(3), marker(u"There is RESULT: P"));
  EXPECT_EQ(code(4), marker(u"There is RESULT: P"));
  // A RESULT inside a literal does not count.
  EXPECT_EQ(code(8), marker(u"It doesn't have RESULT: F"));
  EXPECT_EQ(kind(8), 0);
  EXPECT_EQ(kind(m_program.code.size() - 1), int32_t(StatementKind::Fend));
  EXPECT_EQ(m_program.functions[m_program.find_function(u"G")].kind, FunctionKind::Function);
}

TEST_F(Prepass, ModulesHoldOnlyDeclarations) {
  ASSERT_TRUE(load({}, {u"MODULE THIS 0", u"ENDMODULE", u"MODULE M 1", u"DIM X = 5", u"PUBLIC Y = 6",
                        u"CONST K = 7", u"A = 1", u"FUNCTION F()", u"RESULT = X", u"FEND", u"HASHTBL T", u"ENDMODULE"}));
  EXPECT_EQ(code(2), marker(u"prohibition word: THIS"));
  EXPECT_EQ(code(3), marker(u"SyntaxError-35"));  // the refused module was never opened
  EXPECT_EQ(code(8), marker(u"SyntaxError-40"));
  ASSERT_EQ(m_program.check_entry_names.size(), 3u);
  EXPECT_EQ(m_program.check_entry_names[0], u"CLASS ");
  EXPECT_EQ(m_program.check_entries[0].header, 1);
  EXPECT_EQ(m_program.check_entry_names[2], u"CLASS M");
  EXPECT_EQ(m_program.check_entries[2].header, 7);
  EXPECT_TRUE(m_program.is_module(u"M"));
  EXPECT_EQ(m_program.module_numbers[0], 1);
  EXPECT_GE(m_program.find_function(u"M.F"), 0);
  EXPECT_EQ(global(u"M.X").as_r8(), 5);
  EXPECT_EQ(global(u"M.Y").as_r8(), 6);
  EXPECT_EQ(global(u"M.K").as_r8(), 7);
  EXPECT_NE(m_store.find_hash(m_frame, u"M.T"), nullptr);
  EXPECT_EQ(code(6), u"");  // declarations are blanked
}

TEST_F(Prepass, ModuleErrors) {
  ASSERT_TRUE(load({}, {u"MODULE M 0", u"CLASS N 1", u"ENDMODULE", u"MODULE M 0", u"ENDMODULE", u"MODULE A.B 2",
                        u"ENDMODULE"}));
  EXPECT_EQ(code(3), marker(u"MODULE is multiplexing"));
  EXPECT_EQ(code(5), marker(u"It is multiplex definition"));
  EXPECT_EQ(code(7), marker(u"SyntaxError-32"));
}

TEST_F(Prepass, TextBlocks) {
  ASSERT_TRUE(load({u"TEXTBLOCK", u"A = 1 // not code", u"ENDTEXTBLOCK", u"TEXTBLOCK NOTE", u"  Line one",
                    u"", u"line THREE", u"ENDTEXTBLOCK", u"TEXTBLOCK X; Y = 1", u"ENDTEXTBLOCK"}));
  for (size_t i = 1; i <= 8; ++i) EXPECT_EQ(code(i), u"") << i;
  EXPECT_EQ(global(u"NOTE").as_string(), u"  Line one\r\n\r\nline THREE");
  EXPECT_EQ(code(9), marker(u"SyntaxError-46"));
}

TEST_F(Prepass, TextBlockErrors) {
  ASSERT_TRUE(load({u"ENDTEXTBLOCK", u"TEXTBLOCK A B", u"ENDTEXTBLOCK", u"TEXTBLOCK C", u"ENDTEXTBLOCK X"}));
  EXPECT_EQ(code(1), marker(u"It doesn't pair with \"TEXTBLOCK\""));
  EXPECT_EQ(code(2), marker(u"SyntaxError-31"));
  EXPECT_EQ(code(3), u"");
  EXPECT_EQ(code(5), marker(u"SyntaxError-30"));
  EXPECT_FALSE(load({u"TEXTBLOCK T", u"text"}));
  EXPECT_EQ(m_error.message, u"ENDTEXTBLOCK is not defined");
}

TEST_F(Prepass, OptionSettings) {
  ASSERT_TRUE(load({u"OPTION EXPLICIT, SAMESTR, OPTFINALLY, SHORTCIRCUIT, OLDBOOL",
                    u"OPTION DLGTITLE = \"My, <#_DBL>title\", LOGLINES = 100, POSITION = 10, 20",
                    u"OPTION DEFAULTFONT = \"MS Gothic, 12\", LOGFILE = 5, DLGMONITOR = 0"}));
  const ScriptOptions& o = m_program.options;
  EXPECT_TRUE(o.explicit_names && o.same_str && o.opt_finally && o.short_circuit && o.old_bool);
  EXPECT_FALSE(o.special_char || o.round_value);
  EXPECT_TRUE(m_store.true_value().is(VarType::I2));
  EXPECT_EQ(o.dialog_title, u"My, \"title");
  EXPECT_EQ(o.log_lines, 100);
  EXPECT_TRUE(o.position_set);
  EXPECT_EQ(o.position_x, 10);
  EXPECT_EQ(o.position_y, 20);
  EXPECT_EQ(o.default_font_name, u"MS Gothic");
  EXPECT_EQ(o.default_font_size, 12);
  EXPECT_EQ(o.log_file_mode, 5);
  EXPECT_TRUE(o.clear_log);
  EXPECT_EQ(o.dialog_monitor, 0);
  EXPECT_EQ(code(1), u"");

  // A monitor number the system does not have means the default monitor.
  ASSERT_TRUE(load({u"OPTION DLGMONITOR = 64"}));
  EXPECT_EQ(m_program.options.dialog_monitor, -1);

  ASSERT_TRUE(load({u"OPTION NOSUCH", u"OPTION LOGLINES = -1", u"OPTION DEFAULTFONT = \"Arial\"", u"OPTION EXPLICIT"}));
  for (size_t i = 1; i <= 3; ++i) EXPECT_EQ(code(i), marker(u"OPTION:SyntaxError")) << i;
  EXPECT_TRUE(m_store.true_value().is(VarType::Bool));  // each run starts afresh
}

TEST_F(Prepass, DefDllDeclarations) {
  ASSERT_TRUE(load({u"DEF_DLL MessageBoxA(HWND, string, STRING, UINT): INT: user32.dll",
                    u"DEF_DLL Fill(VAR INT[], {LONG, WORD}, dword): VOID: my.dll", u"DEF_DLL Bad(INT, FOO): INT: x.dll",
                    u"DEF_DLL Arr(STRING[ ]): INT: x.dll"}));
  EXPECT_EQ(code(1), u"MessageBoxA(HWND, string, STRING, UINT): INT: user32.dll");
  EXPECT_EQ(kind(1), int32_t(StatementKind::DefDll));
  EXPECT_EQ(code(2), u"Fill(VAR INT[], {LONG, WORD}, dword): VOID: my.dll");
  EXPECT_EQ(code(3), marker(u"DEF_DLL:SyntaxError:FOO"));
  EXPECT_EQ(code(4), marker(u"STRING[] cannot specify the array"));
  int32_t at = m_program.dll_names.find(u"MESSAGEBOXA");
  ASSERT_GE(at, 0);
  EXPECT_EQ(m_program.dll_declarations[at], u"MessageBoxA(HWND, string, STRING, UINT): INT: user32.dll");
  EXPECT_GE(m_store.dll_names().find(u"FILL"), 0);
  EXPECT_EQ(dll_type_code(u"var double"), 259);
  EXPECT_EQ(dll_type_code(u"HMENU[]"), 7);
  EXPECT_EQ(dll_type_code(u"INTEGER"), 0);
}

TEST_F(Prepass, DeclarationsReachTheStore) {
  ASSERT_TRUE(load({u"CONST C = 2 * 3", u"PUBLIC P[2], R", u"PUBLIC Q = \"q\"; HASHTBL H", u"CONST C = 1", u"PUBLIC A B"}));
  EXPECT_EQ(global(u"C").as_r8(), 6);
  ASSERT_TRUE(global(u"Q").is_string());
  EXPECT_EQ(global(u"Q").as_string(), u"q");
  EXPECT_EQ(code(4), u"H");  // a local hash table, made when the statement runs
  EXPECT_EQ(kind(4), int32_t(StatementKind::HashTbl));
  EXPECT_EQ(code(5), marker(u"It is multiplex definition: C"));
  EXPECT_EQ(code(6), marker(u"variable name which is not right: A B"));
}

TEST_F(Prepass, ErrorsReportedAtOnce) {
  EXPECT_FALSE(load({}, {u"FUNCTION F()", u"RESULT = 1", u"PROCEDURE G()", u"FEND"}));
  EXPECT_EQ(m_error.message, u"Function/Procedure is nest or not closed: F");
  EXPECT_EQ(m_error.statement, 4);
  EXPECT_FALSE(load({}, {u"PROCEDURE G()", u"FEND", u"PROCEDURE G()", u"FEND"}));
  EXPECT_EQ(m_error.message, u"It is multiplex definition: G");
  EXPECT_FALSE(load({}, {u"PROCEDURE G+H()", u"FEND"}));
  EXPECT_EQ(m_error.message, u"SyntaxError-36:G+H");
  EXPECT_FALSE(load({}, {u"MODULE M 0", u"PROCEDURE G()", u"FEND"}));
  EXPECT_EQ(m_error.message, u"ENDMODULE(ENDCLASS) is not defined: MODULE(CLASS)M");
  EXPECT_EQ(m_error.statement, -1);
  EXPECT_FALSE(load({}, {u"CLASS M 0", u"PROCEDURE M(A)", u"FEND", u"ENDCLASS"}));
  EXPECT_EQ(m_error.message, u"Argument is not put on the constructor function");
  EXPECT_EQ(m_error.statement, 3);
  EXPECT_TRUE(load({}, {u"CLASS M 0", u"PROCEDURE M( )", u"FEND", u"ENDCLASS"}));
}

}  // namespace
}  // namespace vesk

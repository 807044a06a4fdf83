// The resource text: dialogs, menus, accelerator tables, and errors with their line numbers.
#include "platform/ui/resources.h"

#include <gtest/gtest.h>

#include "platform/ui/geometry.h"

namespace {

TEST(Resources, ParsesDialogWithControlsStylesAndMenu) {
  const char* text = R"(// comment
DIALOG 9001 "Проба" 10 20 200 100 STYLE resizable visible MENU 9002 FONT 9
  DEFBUTTON 1 140 80 50 14 "Выйти"
  EDIT 1019 5 5 100 40 "a \"b\"\n" STYLE multiline readonly
  TRACKBAR 1009 5 50 100 12 STYLE hidden noticks
  COMBOBOX 1010 5 64 100 80
END
MENU 9002
  POPUP "Файл"
    ITEM 32771 "Загрузить" checked
    SEPARATOR
    POPUP "Ещё"
      ITEM 32772 "&Выход" disabled
    END
  END
END
ACCELERATORS 9003
  Down 32846
  Gray+ 32851
  Ctrl+S 32857
END
)";
  std::string error;
  ASSERT_TRUE(ui::RegisterResources(text, &error)) << error;
  const ui::DialogTemplate* d = ui::FindDialogTemplate(9001);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->caption, "Проба"_cp);
  EXPECT_EQ((ui::Rect{d->x, d->y, d->cx, d->cy}), (ui::Rect{10, 20, 200, 100}));
  EXPECT_EQ(d->style, ui::Style::Resizable | ui::Style::Visible);
  EXPECT_EQ(d->menuId, 9002);
  EXPECT_EQ(d->fontPoints, 9);
  ASSERT_EQ(d->controls.size(), 4u);
  EXPECT_EQ(d->controls[0].kind, ui::ControlKind::Button);
  EXPECT_EQ(d->controls[0].style, ui::Style::Default);
  EXPECT_EQ(d->controls[1].caption, "a \"b\"\n");
  EXPECT_EQ(d->controls[1].style, ui::Style::MultiLine | ui::Style::ReadOnly);
  EXPECT_EQ(d->controls[2].style, ui::Style::Hidden | ui::Style::NoTicks);
  EXPECT_EQ(d->Find(1010)->kind, ui::ControlKind::ComboBox);
  EXPECT_EQ(d->Find(4242), nullptr);

  const ui::MenuTemplate* m = ui::FindMenu(9002);
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->items.size(), 1u);
  const auto& file = m->items[0];
  EXPECT_TRUE(file.popup);
  ASSERT_EQ(file.children.size(), 3u);
  EXPECT_TRUE(file.children[0].checked);
  EXPECT_TRUE(file.children[1].separator);
  ASSERT_EQ(file.children[2].children.size(), 1u);
  EXPECT_EQ(file.children[2].children[0].id, 32772);
  EXPECT_TRUE(file.children[2].children[0].disabled);

  const ui::AcceleratorTable* a = ui::FindAccelerators(9003);
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(a->entries.size(), 3u);
  EXPECT_EQ(a->entries[0].key, Qt::Key_Down);
  EXPECT_EQ(a->entries[1].key, Qt::Key_Plus);
  EXPECT_EQ(a->entries[1].modifiers, unsigned(Qt::KeypadModifier));
  EXPECT_EQ(a->entries[2].key, 'S');
  EXPECT_EQ(a->entries[2].modifiers, unsigned(Qt::ControlModifier));
}

TEST(Resources, ReportsErrorsWithTheirLineAndRegistersNothing) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"DIALOG 9100 \"x\" 0 0 10 10\n  WIDGET 1 0 0 1 1\nEND\n", "line 2: unknown control kind"},
      {"DIALOG 9101 \"x\" 0 0 10 10\n  BUTTON 1 0 0 1\nEND\n", "line 2: BUTTON id x y cx cy"},
      {"DIALOG 9102 \"x\" 0 0 10 10\n  BUTTON 1 0 0 1 1 \"a\" STYLE shiny\nEND\n",
       "line 2: unexpected 'shiny'"},
      {"DIALOG 9103 \"x\" 0 0 10 10\n  BUTTON 1 0 0 1 1\n  BUTTON 1 0 0 1 1\nEND\n",
       "line 3: control id 1 used twice"},
      {"DIALOG 9104 \"x\n", "line 1: unterminated string"},
      {"\nDIALOG 9105 \"x\" 0 0 10 10\n  BUTTON 1 0 0 1 1\n", "line 2: missing END"},
      {"ACCELERATORS 9106\n  Hyper+Q 1\nEND\n", "line 2: unknown key"},
      {"THING 9107\n", "line 1: unknown resource"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(ui::RegisterResources(c.text, &error)) << c.text;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << "got: " << error;
  }
  for (int id = 9100; id <= 9105; ++id) EXPECT_EQ(ui::FindDialogTemplate(id), nullptr);
}

TEST(Resources, KeyNames) {
  struct Case {
    const char* name;
    int key;
    unsigned modifiers;
  };
  const Case cases[] = {
      {"Up", Qt::Key_Up, 0},
      {"Gray*", Qt::Key_Asterisk, Qt::KeypadModifier},
      {"Multiply", Qt::Key_Asterisk, Qt::KeypadModifier},
      {"1", Qt::Key_1, 0},
      {"F12", Qt::Key_F12, 0},
      {"Shift+Alt+x", 'X', Qt::ShiftModifier | Qt::AltModifier},
      {"Escape", Qt::Key_Escape, 0},
  };
  for (const auto& c : cases) {
    auto k = ui::ParseKeyName(c.name);
    ASSERT_TRUE(k) << c.name;
    EXPECT_EQ(k->key, c.key) << c.name;
    EXPECT_EQ(k->modifiers, c.modifiers) << c.name;
  }
  for (const char* bad : {"", "F0", "F25", "Ctrl+", "Snowman"}) EXPECT_FALSE(ui::ParseKeyName(bad));
}

TEST(Resources, TheProgramsOwnTemplatesAreBuiltIn) {
  const ui::DialogTemplate* hub = ui::FindDialogTemplate(142);
  ASSERT_NE(hub, nullptr);
  EXPECT_EQ(hub->caption, "Механорецептор"_cp);
  ASSERT_NE(hub->Find(1), nullptr);
  EXPECT_EQ(hub->Find(1)->caption, "Выйти"_cp);
}

}  // namespace

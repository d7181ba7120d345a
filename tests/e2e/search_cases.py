"""A search typed into the window: its rows, paths, sizes and count, and the menu each row opens."""

from case_support import ResultsTest
from desktop import wait_for
from window_driver import click, key, screenshot

MENU_ITEMS = ["打开", "定位", "复制", "删除", "重命名", "属性", "", "导出结果…"]  # a line before the export


class SearchAndResults(ResultsTest):

    def test_search_lists_the_matching_entries_with_paths_sizes_and_count(self):
        """Rows and count of a search typed into the window match the prepared tree."""
        program, root = self.prepared_search("docs")
        rows = program.rows()
        self.assertCountEqual(rows, self.expected_rows(root))
        depths = [path.count("/") for _, path, _ in rows]
        self.assertEqual(depths, sorted(depths), "folders are searched breadth-first")
        self.assertEqual(program.Panel1.name, f"找到 {len(rows)} 个文件")
        self.assertEqual(program.Combo1.name, root, "the location stays in the field")
        screenshot("main-window-screen.png")
        screenshot("main-window.png", program.window_id)

    def test_right_click_on_a_row_shows_the_six_actions_in_order(self):
        """A real button-3 click on a row selects it and pops up the six actions and the export."""
        program, root = self.prepared_search("menu")
        table = program.List1.queryTable()
        row = 1
        click(table.getAccessibleAt(row, 0), button=3)
        captions = wait_for("the popup menu", program.menu_captions)
        self.assertEqual(captions, MENU_ITEMS)
        self.assertEqual(list(table.getSelectedRows()), [row], "the clicked row is the selected one")
        screenshot("popup-menu.png")
        key("Escape")
        wait_for("the menu to close", lambda: program.popup_menu() is None)
        self.assertEqual(len(program.rows()), len(self.expected_rows(root)), "dismissing changes nothing")

    def test_menu_key_and_shift_f10_open_the_menu_for_the_selected_row(self):
        """The keyboard alone reaches the row actions."""
        program, _ = self.prepared_search("menu-key")
        table = program.List1.queryTable()
        click(table.getAccessibleAt(0, 1))
        wait_for("the first row to be selected", lambda: list(table.getSelectedRows()) == [0])
        for keys in ("shift+F10", "Menu"):
            key(keys)
            self.assertEqual(wait_for(f"the menu after {keys}", program.menu_captions), MENU_ITEMS)
            key("Escape")
            wait_for("the menu to close", lambda: program.popup_menu() is None)

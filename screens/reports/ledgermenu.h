#pragma once

class MainWindow;

// The ••• menu's entries of the station's money: "代收款台账", "司机运费" and
// "经营统计". Each opens its screen on the home section, which it shows
// first; a screen already on top there is not opened twice.
class LedgerMenu
{
public:
    // Puts the entries at the head of `window`'s ••• menu, once.
    static void install(MainWindow* window);
};

// Dialog units to pixels, from the metrics of the dialog's font, as dialog templates are laid out.
#pragma once

#include <QFont>
#include <QRect>

#include "resources/window_layout.h"

namespace vorlix {

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    DialogUnits(int baseX, int baseY) : baseX_(baseX), baseY_(baseY) {}

    int x(int units) const { return units * baseX_ / 4; }
    int y(int units) const { return units * baseY_ / 8; }
    QRect rect(const layout::DialogRect& r) const {
        return {x(r.x), y(r.y), x(r.width), y(r.height)};
    }
    int baseX() const { return baseX_; }
    int baseY() const { return baseY_; }

private:
    int baseX_;
    int baseY_;
};

// The font of the program's dialogs at the given size: a Japanese UI face where there is one.
QFont dialogFont(int points);

}  // namespace vorlix

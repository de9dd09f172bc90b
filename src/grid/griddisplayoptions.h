#pragma once

#include "platform/colorvalues.h"

#include <QColor>
#include <QImage>

namespace kelvara {

// The enhanced grid's options that painting reads, with their defaults. The grid owns one and its
// properties read and write it; the cell painter reads it where it lives, at every cell.
struct GridDisplayOptions
{
    bool displayImages = true;
    bool displayMemo = true;
    bool displayBoolean = true;
    bool displayDateTime = true;
    bool showTextEllipsis = false;
    bool showTitleEllipsis = false;
    bool multiLineTitles = false;
    bool showTitlesWhenInactive = false;

    bool useRowColors = false;
    QColor rowColor1{111, 255, 186};
    QColor rowColor2 = systemColor(SystemColor::Window);
    bool useBackgroundPicture = false;
    QImage backgroundPicture;

    QColor highlightColor = clNavy;
    QColor highlightFontColor = clWhite;
    QColor imageHighlightColor = systemColor(SystemColor::Window);

    bool flatCheckBox = true;
    bool boldCheckBox = false;  // FlatCheckBoxType Bold
    int valueUnChecked = 0;

    bool cells3D = false;
    bool boldTitlesWhenCells3D = false;
    bool boldIndicatorsWhenCells3D = false;
    bool titleCheck = false;
    bool drawFocusRect = true;
    bool useBitmapDrawing = false;
};

}  // namespace kelvara

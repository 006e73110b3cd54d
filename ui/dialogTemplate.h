#pragma once

#include <QRect>

namespace orvalis {

// Dialog units to pixels as on a 96-DPI screen with the 8-point dialog font:
// four horizontal units are 6 pixels, eight vertical units 13 pixels, each
// rounded to the nearest pixel.
constexpr int dialogUnitsToPixelsX(int units) {
  return (units * 6 + 2) / 4;
}
constexpr int dialogUnitsToPixelsY(int units) {
  return (units * 13 + 4) / 8;
}
QRect dialogRect(int x, int y, int width, int height);

// The main window: 657 x 394 units, which is a 986 x 640 pixel client area.
inline constexpr int kDialogWidthUnits = 657;
inline constexpr int kDialogHeightUnits = 394;

enum class ControlKind { PushButton, RadioButton, GroupBox, DropDownList };

// One control of the main window's template, rectangle in dialog units.
struct ControlTemplate {
  int id;  // -1 for the two group boxes without an identifier
  ControlKind kind;
  const char* caption;  // UTF-8
  int x, y, width, height;
};

inline constexpr int kNoId = -1;

// Identifiers of the window's controls.
enum ControlId : int {
  kCloseButton = 1000,
  kAdjustButton = 1001,     // "Modifica i parametri della ricerca"
  kNewSearchButton = 1002,  // "Avvia una nuova ricerca", same place as 1001
  kRightButton = 1003,
  kLeftButton = 1004,
  kUpButton = 1005,
  kDownButton = 1006,
  kGrowButton = 1007,
  kShrinkButton = 1008,
  kStep1Radio = 1009,
  kStep10Radio = 1010,
  kStep25Radio = 1011,
  kStep50Radio = 1012,
  kStepGroupBox = 1013,
  kColorToleranceList = 1015,
  kFilterRadiusList = 1016,
  kFramesPerSecondList = 1017,
};

// The thirteen controls that only adjust mode enables, in the order they are
// enabled and disabled.
inline constexpr int kParameterControls[13] = {
    kFramesPerSecondList, kFilterRadiusList, kColorToleranceList, kStep1Radio, kStep10Radio,
    kStep25Radio,         kStep50Radio,      kUpButton,           kDownButton, kLeftButton,
    kRightButton,         kGrowButton,       kShrinkButton};

// Every control in tab and stacking order. The radio buttons form one group
// (1009..1012) although the group box 1013 stands between 1011 and 1012; each
// is as wide as its caption needs, and they stand 4 units apart across the
// group box, so that no caption runs into the next button.
inline constexpr ControlTemplate kMainTemplate[] = {
    {1000, ControlKind::PushButton, "Chiudi", 500, 276, 84, 18},
    {1001, ControlKind::PushButton, "Modifica i parametri della ricerca", 446, 256, 192, 18},
    {1002, ControlKind::PushButton, "Avvia una nuova ricerca", 446, 256, 192, 18},
    {1003, ControlKind::PushButton, "Destra", 510, 222, 64, 18},
    {1004, ControlKind::PushButton, "Sinistra", 510, 204, 64, 18},
    {1005, ControlKind::PushButton, "Alto", 446, 204, 64, 18},
    {1006, ControlKind::PushButton, "Basso", 446, 222, 64, 18},
    {1007, ControlKind::PushButton, "Aumenta", 574, 204, 64, 18},
    {1008, ControlKind::PushButton, "Diminuisci", 574, 222, 64, 18},
    {1009, ControlKind::RadioButton, "1 Pixel", 444, 175, 40, 10},
    {1010, ControlKind::RadioButton, "10 Pixels", 488, 175, 48, 10},
    {1011, ControlKind::RadioButton, "25 Pixels", 540, 175, 48, 10},
    {kNoId, ControlKind::GroupBox, "Sposta oppure ridimensiona il mirino", 440, 195, 204, 49},
    {1013, ControlKind::GroupBox, "Seleziona la velocit\u00e0 del mirino", 440, 166, 204, 21},
    {1012, ControlKind::RadioButton, "50 Pixels", 592, 175, 48, 10},
    {kNoId, ControlKind::GroupBox, "Ricerca di una regione circolare congruente", 440, 97, 204, 60},
    {1015, ControlKind::DropDownList, "", 446, 139, 192, 30},
    {1016, ControlKind::DropDownList, "", 446, 123, 192, 30},
    {1017, ControlKind::DropDownList, "", 446, 107, 192, 30},
};

// A drop-down list's rectangle includes its open list; the closed box is this
// many units tall (the lists stand 16 units apart).
inline constexpr int kDropDownClosedHeightUnits = 14;

// Client pixel rectangle of a control as placed in the window.
QRect controlRect(const ControlTemplate& control);

}  // namespace orvalis

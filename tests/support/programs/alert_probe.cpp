// Shows one alert and exits with the index of the button pressed:
//   alert_probe TITLE TEXT BUTTON [BUTTON [BUTTON]]
#include "platform/interface/Alert.h"

int main(int argc, char** argv)
{
    if (argc < 4)
        return 100;
    BAlert* alert = new BAlert(argv[1], argv[2], argv[3], argc > 4 ? argv[4] : nullptr,
                               argc > 5 ? argv[5] : nullptr, B_WIDTH_AS_USUAL, B_STOP_ALERT);
    return alert->Go();
}

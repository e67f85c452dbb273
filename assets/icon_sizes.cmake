# The sizes of the icon files in assets/icons (assets/icon.h draws them; packaging installs them).
set(DRIFTLIGHT_ICON_SIZES 16 32 48 64 128 256)

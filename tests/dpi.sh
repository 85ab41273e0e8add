#!/usr/bin/env bash
# The window's layout, fonts and margins at 96, 120, 144 and 192 DPI: Wine reads the DPI from the
# prefix's registry when a program starts.
set -uo pipefail
source "$(dirname "$0")/sandbox.sh"
tests=$1
failed=0
for dpi in 120 144 192 96; do
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  if QUENLIT_EXPECT_DPI=$dpi wine "$tests" \
       --gtest_filter='MainWindowTest.TheWindowIsAsDesigned:MainWindowTest.TheHelpWindowIsMadeForItsDpiAndFollowsIt:MainWindowTest.OptionItems*:MainWindowTest.ThePlacement*' \
       >"$tests.dpi$dpi.log" 2>&1; then
    echo "ok: $dpi DPI"
  else
    echo "FAILED: $dpi DPI"; cat "$tests.dpi$dpi.log"; failed=1
  fi
done
wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1
exit $failed

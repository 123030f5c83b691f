set(TMODE_PUBLIC_HEADERS library/tmode.h diagnostics/listed.h)

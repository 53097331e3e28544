// Nothing beyond the shared cases: the Windows specifics (abandoned frames, exit codes) are
// exercised there.

// A setup program started from a removable disk copies its bare stub to the
// temporary folder and starts the copy with the disk's setup file as its
// package source, so that the disk can be changed while it runs.
#pragma once

// True when the copy was started and this instance should end.
bool RelaunchFromRemovableMedia(int show);

// Finding a process by its name under /proc.
#ifndef FOUNDATION_SYSTEM_PROC_H
#define FOUNDATION_SYSTEM_PROC_H

// The id of a process whose name (the command name in /proc/<pid>/stat,
// exact and case-sensitive) is `name`, or -1. `pid` is the id found last time:
// when it still names such a process /proc is not scanned; otherwise (or with
// 0) the first match in directory order is returned. Unreadable or vanished
// processes are skipped.
int find_proc_by_name(const char* name, int pid);

#endif  // FOUNDATION_SYSTEM_PROC_H

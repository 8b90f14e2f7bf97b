#pragma once

// The communication page's memos drawn from the log: each line's requests in its sent memo
// and the replies opposite in its received memo, newest first.

// The memos in sight brought up to date, once a tick: a memo hidden behind another page
// is drawn when it is shown, and a memo whose window is not shown at all at once.
void RefreshLog();
// Every memo brought up to date now, in sight or not (for a reader of their documents).
void FlushLog();

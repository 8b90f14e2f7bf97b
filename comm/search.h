#pragma once

// The search of a line: every address not yet taken is asked for its identification, one
// after another, with a short answer window. On a line that already has sources the
// search's requests take turns with their polling; the line's scheduler sends them, so no
// frame goes out while another request waits for its reply.

#include <QList>
#include <QMap>
#include <QString>
#include <cstdint>

constexpr uint32_t SearchWindow = 150; // ms an address has to answer: a reply takes 23 ms

struct TLineSearch
{
    bool Active = false;
    QList<int> ToAsk;         // addresses still to be asked, in order
    int Asking = -1;          // the address asked now, or -1
    int Asked = 0;            // addresses asked so far (the one asked now included)
    int Total = 0;            // addresses the search asks in all
    QMap<int, QString> Found; // address -> type of the source that answered
    bool Turn = false;        // the line's next request is the search's
};

// Starts the search of the line over the given addresses (the previous result forgotten).
void StartSearch(int Line, const QList<int> &Addresses);
// Ends the search of the line; what was found so far stays.
void StopSearch(int Line);
const TLineSearch &SearchOf(int Line);
bool Searching(int Line);

// The scheduler's part: true when the line's free turn goes to the search (the request is
// then built and the line waits for its answer); false when a source's request goes.
bool SearchTakesTurn(int Line, QByteArray *Frame);
// A complete reply while the search's request is out; the line may go on.
void SearchReply(int Line, const QString &Reply);
// The search's request went unanswered.
void SearchNoAnswer(int Line);
// True while the line waits for the answer to the search's request.
bool SearchWaiting(int Line);

// The type a source names in its identification ("#05TYPZDR300-SVC1005" -> "ZDR300-S"),
// or an empty text for a reply that is none.
QString IdentifiedType(const QString &Reply);

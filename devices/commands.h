#pragma once

// Commands from the panels and the left bar: they store a value and raise a pending flag;
// the line scheduler sends them.

#include <QObject>

void ButtSetUClick(QObject *Sender);
void ButtSetTolClick(QObject *Sender);
void Edit1KeyPress(QObject *Sender, char16_t &Key);
void Edit2KeyPress(QObject *Sender, char16_t &Key);
void Label2Click(QObject *Sender);
void Label3Click(QObject *Sender);
void ButtOutOnClick();
void ButtOutOffClick();
void ButtoffClick();

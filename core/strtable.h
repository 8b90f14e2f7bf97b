#pragma once

// The program's string table: both language sets of every caption, hint and text that
// the language switch sets. Units look their texts up here; none builds them in place.

#include <QString>

enum TLangSet { lsNone, lsCzech, lsEnglish };

// The set a language code selects: its first letter, "c" Czech, "e" English, else none.
TLangSet LanguageSet(const QString &code);

enum TStrId {
    // the fourteen language texts
    sAxisX,
    sAxisY,
    sValuesOf,
    sDevNo,
    sNoAnswer,
    sProgramOf,
    sColStep,
    sColTime,
    sColU,
    sColNext,
    sChartValues,
    sStepIs,
    sTimeIs,
    sVoltageIs,
    // main window
    sFormMainCaption,
    sAbout1,
    sAbout2,
    sAbout3,
    sAbout4,
    sAbout8,
    sButtEnd,
    sButtEndHint,
    sLangHint,
    sAddDev,
    sAddDevHint,
    sOutOn,
    sOutOnHint,
    sOutOff,
    sOutOffHint,
    sOffHint,
    sPage1,
    sPage2,
    sPage3,
    sPage8,
    sLine1,
    sLine2,
    sLine3,
    sLine4,
    sSentLabel,
    sRecvLabel,
    // chart page
    sSaveGraf,
    sPrint,
    sAxisXMax,
    sAxisYMax,
    sZoom,
    sRotation,
    // connection dialog
    sPripojCaption,
    sAddress,
    sRadio1,
    sRadio2,
    sRadio3,
    sRadio4,
    sConnect,
    sCancel,
    sNoFreeAddress,
    sSearch,
    sSearchStop,
    sSearchHint,
    sAddAll,
    sSearchProgress,
    sSearchDone,
    sSearchLog,
    // program editor
    sOpen,
    sSave,
    // source panel
    sProgHint,
    sRecord,
    sRecordHint,
    sColor,
    sColorHint,
    sRemove,
    sRemoveHint,
    sOutHint,
    sStaHint,
    sVoltHint,
    sTolHint,
    sRunHint,
    sStopHint,
    sNoAnswerPanel,
    // program editor: what Enter and Ctrl+Enter do
    sProgEnterHint,
    sProgOKHint,
    // files the chart page and the recording could not write
    sRecordFailed,
    sExportFailed,
    // connection dialog: the device behind each port of the lists
    sPortDevice,
    sPortPresent,
    sPortMissing,
    // start-up: saved sources whose line's port could not be opened again
    sReconnectFailed,
    // communication log: a line's device went away, and came back
    sLineLost,
    sLineBack,
    // top bar: the network bridge's state, its broker in the hint
    sMqttConnected,
    sMqttDisconnected,
    sMqttBroker,
    sStrCount
};

// The text of id in the given set; an empty text for lsNone.
QString LoadStr(TStrId id, TLangSet set);
// For messages that must never be empty: the set of the language in force, Czech when
// the code selects none (the language of the windows' own texts).
QString LoadMessage(TStrId id);

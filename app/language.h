#pragma once

// The interface language: one routine writes every caption and hint of both windows'
// language-dependent controls and the language texts the other units build from.

// Selects the set by the first letter of LangCode ("c" Czech, "e" English); with no set
// selected nothing changes.
void ApplyLanguage();

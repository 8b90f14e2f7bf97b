#pragma once

// The station on the network, when the settings ask for it: the MQTT bridge and its
// indicator in the top bar.

class TMqttBridge;

// Starts the bridge of the "MQTT" settings (none without a host) and shows its indicator.
void StartNetwork();
// The indicator's text and hint in the language in force; nothing when there is no bridge.
void ShowNetworkState();
// The bridge, or null when there is none.
TMqttBridge *NetworkBridge();

// A credential provider DLL that breaks the rules a host relies on, one way per mode, for the
// tests of credhost against a broken or hostile provider. It is loaded from its file with
// --clsid; the mode is read from the environment when DllGetClassObject is called.
#pragma once

#define QM_HOSTILE_PROVIDER_CLSID L"{0BAD0BAD-5EED-4BAD-9BAD-0123456789AB}"
#define QM_HOSTILE_PROVIDER_MODE_VARIABLE L"QM_HOSTILE_PROVIDER_MODE"

// The modes (the variable's values); any other value gives a provider that signs in.
//   control-text        labels, values, the logon block's names and ReportResult's text hold
//                       C0, DEL, C1, separator and bidirectional controls
//   control-refusal     no credential, with such a status text
//   block-oversize      cbSerialization claims 4096 bytes more than the block holds
//   block-foreign       the block is not from the COM task allocator
//   block-overflow      a string's offset plus length overflows 64 bits
//   many-fields         2^20 field descriptors
//   many-tiles          2^20 tiles
//   null-descriptor     GetFieldDescriptorAt succeeds with a null descriptor
//   null-label          ... with a descriptor whose label is null
//   null-tile           GetCredentialAt succeeds with a null tile
//   null-value          the value getters succeed with null strings; a credential without a block
//   garbage-on-failure  failing calls leave wild pointers in their out-parameters: the value
//                       getters, GetCredentialAt for the second of two tiles, GetSerialization
// For the window (credhost window), where the provider raises events:
//   hang-serialization  GetSerialization never returns
//   reread-fails        three tiles, the third the default; typing into the edit field raises
//                       CredentialsChanged, and from then on GetCredentialAt(1) fails after 2 s
//   combo-flood         ticking the check box appends 2000 items to the combo box
//   changes-loop        GetCredentialCount raises CredentialsChanged every time
//   thread-events       the first SetSelected starts a thread that sets field 0 300 times and
//                       raises CredentialsChanged every 30th, then after 1 s sets field 0 to
//                       "set from another thread" (which GetStringValue serves too)
//   late-events         the first SetSelected starts a thread that keeps the sinks and, until
//                       the process ends, sets field 0 to "late event N" every millisecond and
//                       raises CredentialsChanged every half second: through the close and
//                       after the window and its host have gone. The thread pins the DLL, as
//                       a provider whose code still runs must keep its module loaded

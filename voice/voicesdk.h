/*
 * VoiceSdk: a small voice platform SDK. Plain C interface.
 *
 * The SDK connects to a voice switch over TCP (see PROTOCOL.md), signs in
 * with two application credentials and a voice account, and places and ends
 * outgoing calls. It reports through a table of callbacks that the caller
 * hands to voiceInit(); the callbacks run on the SDK's own thread, never on
 * the caller's.
 *
 * All functions may be called from any thread. Strings passed in are copied
 * before the function returns. Strings passed to callbacks live only while
 * the callback runs.
 */
#ifndef VOICESDK_H
#define VOICESDK_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define VOICESDK_API __attribute__((visibility("default")))
#else
#define VOICESDK_API
#endif

/* Number of pointer-sized entries in the callback table. */
#define VOICE_CALLBACK_COUNT 61

/*
 * Positions in the callback table and the type of the function expected at
 * each. A null entry is skipped. Positions not listed are reserved: this SDK
 * never calls them.
 */
enum VoiceCallbackPosition {
    VOICE_CB_ON_CONNECTED = 1,        /* VoiceOnConnected */
    VOICE_CB_ON_CONNECT_ERROR = 2,    /* VoiceOnConnectError */
    VOICE_CB_ON_CALL_PROCEEDING = 4,  /* VoiceOnCallEvent */
    VOICE_CB_ON_CALL_ALERTING = 5,    /* VoiceOnCallEvent */
    VOICE_CB_ON_CALL_ANSWERED = 6,    /* VoiceOnCallEvent */
    VOICE_CB_ON_MAKE_CALL_FAILED = 7, /* VoiceOnMakeCallFailed */
    VOICE_CB_ON_CALL_RELEASED = 10,   /* VoiceOnCallEvent */
    VOICE_CB_ON_HEARTBEAT = 12,       /* VoiceOnHeartbeat */
    VOICE_CB_ON_LOG_INFO = 13         /* VoiceOnLogInfo */
};

/* Why connecting or signing in failed, or why the connection was lost. */
typedef struct VoiceReason {
    int code;          /* one of VoiceReasonCode */
    char message[128]; /* human-readable, zero-terminated */
} VoiceReason;

enum VoiceReasonCode {
    VOICE_REASON_UNREACHABLE = 1,       /* no TCP connection to the switch */
    VOICE_REASON_PROTOCOL = 2,          /* the peer does not speak the protocol */
    VOICE_REASON_TIMEOUT = 3,           /* the switch did not answer in time */
    VOICE_REASON_BAD_APPLICATION = 401, /* application credentials refused */
    VOICE_REASON_BAD_ACCOUNT = 403,     /* voice account refused */
    VOICE_REASON_CONNECTION_LOST = 503  /* the signed-in connection ended */
};

/* Reasons passed to VoiceOnMakeCallFailed. */
enum VoiceCallFailure {
    VOICE_FAIL_BAD_REQUEST = 400,   /* the switch could not read the request */
    VOICE_FAIL_UNREACHABLE = 404,   /* the number cannot be reached */
    VOICE_FAIL_BUSY = 486,          /* a call is already in progress */
    VOICE_FAIL_UNSUPPORTED = 488,   /* call type not supported */
    VOICE_FAIL_DISCONNECTED = 503   /* the request could not be sent */
};

typedef void (*VoiceOnConnected)(void);
typedef void (*VoiceOnConnectError)(VoiceReason* reason);
typedef void (*VoiceOnCallEvent)(const char* callId);
typedef void (*VoiceOnMakeCallFailed)(const char* callId, int reason);
typedef void (*VoiceOnHeartbeat)(void);
typedef void (*VoiceOnLogInfo)(const char* text);

/* Results of the functions below. */
enum VoiceResult {
    VOICE_OK = 0,
    VOICE_ERR_ARGUMENT = -1, /* a null or out-of-range argument */
    VOICE_ERR_OFFLINE = -2,  /* not signed in to the switch */
    VOICE_ERR_NO_TABLE = -3  /* voiceLogin() before voiceInit() */
};

/*
 * Copies the callback table: VOICE_CALLBACK_COUNT pointer-sized entries.
 * Calling it again replaces the callbacks.
 */
VOICESDK_API int voiceInit(void** callbacks);

/*
 * Starts signing in on the SDK's thread and returns at once. The outcome is
 * reported through VOICE_CB_ON_CONNECTED or VOICE_CB_ON_CONNECT_ERROR. A
 * session signed in before is closed first. There is no retry.
 */
VOICESDK_API int voiceLogin(const char* host, int port, const char* applicationId, const char* applicationToken,
    const char* subAccount, const char* subAccountPwd, const char* voipAccount, const char* voipPwd);

/* Non-zero while signed in. */
VOICESDK_API int voiceIsOnline(void);

/*
 * Places an outgoing call; type 1 is a voice call. Progress is reported
 * through the call callbacks; VOICE_ERR_OFFLINE when not signed in.
 */
VOICESDK_API int voiceMakeCall(int type, const char* number);

/* Ends the call in progress; `call` must be 0 (the call in progress). */
VOICESDK_API int voiceReleaseCall(int call);

#ifdef __cplusplus
}
#endif

#endif /* VOICESDK_H */

// The analytics service's structures, for the Python peer in the tests.

struct TLEnvelope {
  1: required string version,
  2: required string address,
  3: required string signature,
  4: required i32 serial_num,
  5: required i32 ts_secs,
  6: required i32 length,
  7: required binary entity,
  8: required string guid,
  9: required string checksum,
  10: optional i32 codex
}

struct IdSnapshot {
  1: required string identity,
  2: required i64 ts,
  3: required i32 version
}

struct IdJournal {
  1: required string domain,
  2: optional string old_id,
  3: required string new_id,
  4: required i64 ts
}

struct IdTracking {
  1: required map<string, IdSnapshot> snapshots,
  2: optional list<IdJournal> journals,
  3: optional string checksum
}

struct ImprintValue {
  1: optional string value,
  2: required i64 ts,
  3: required string guid
}

struct Imprint {
  1: required map<string, ImprintValue> property,
  2: required i32 version,
  3: required string checksum
}

struct Response {
  1: required i32 resp_code,
  2: optional string msg,
  3: optional Imprint imprint
}

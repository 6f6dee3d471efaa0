#pragma once

// The room's tables as the stations' records create them on the server
// (schema version 2), made here by the test itself so that the console can be
// tested on a server no station has set up yet.
inline const char* const kRoomTables[] = {
    "CREATE TABLE IF NOT EXISTS sessions ("
    " id uuid PRIMARY KEY, station text NOT NULL, started_at timestamptz NOT NULL,"
    " ended_at timestamptz, planned_seconds integer NOT NULL, rate_per_hour integer NOT NULL,"
    " cost bigint NOT NULL, end_reason text NOT NULL, last_seen_at timestamptz NOT NULL)",
    "CREATE TABLE IF NOT EXISTS stations ("
    " station text PRIMARY KEY, host text NOT NULL DEFAULT '',"
    " lurn_version text NOT NULL DEFAULT '',"
    " state text NOT NULL CHECK (state IN ('idle','running','warning','ended','stopped')),"
    " session_id uuid, started_at timestamptz, planned_seconds integer, ends_at timestamptz,"
    " rate_per_hour integer, cost bigint, updated_at timestamptz NOT NULL DEFAULT now())",
    "CREATE TABLE IF NOT EXISTS commands ("
    " id uuid PRIMARY KEY DEFAULT gen_random_uuid(), station text NOT NULL, kind text NOT NULL,"
    " hours integer, minutes integer, seconds integer, second_rate boolean,"
    " warn_minutes integer, add_minutes integer, message text,"
    " issued_by text NOT NULL DEFAULT current_user,"
    " issued_at timestamptz NOT NULL DEFAULT now(),"
    " expires_at timestamptz NOT NULL DEFAULT now() + interval '60 seconds',"
    " state text NOT NULL DEFAULT 'pending'"
    "  CHECK (state IN ('pending','done','refused','expired')),"
    " answered_at timestamptz, answer text)",
    "CREATE OR REPLACE FUNCTION test_notify_command() RETURNS trigger LANGUAGE plpgsql AS $$"
    " BEGIN PERFORM pg_notify('lurn_commands', NEW.station); RETURN NULL; END $$",
    "CREATE OR REPLACE TRIGGER test_command_inserted AFTER INSERT ON commands"
    " FOR EACH ROW EXECUTE FUNCTION test_notify_command()",
    "CREATE OR REPLACE FUNCTION test_notify_answer() RETURNS trigger LANGUAGE plpgsql AS $$"
    " BEGIN PERFORM pg_notify('lurn_answers', NEW.id::text); RETURN NULL; END $$",
    "CREATE OR REPLACE TRIGGER test_command_answered AFTER UPDATE OF state ON commands"
    " FOR EACH ROW EXECUTE FUNCTION test_notify_answer()",
};

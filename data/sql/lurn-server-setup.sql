-- Lurn: setting up a café's PostgreSQL server for many stations and a counter.
--
-- Run once, as a superuser (or a role with CREATEROLE that may create
-- objects), connected to the café's database:
--     psql -d cafe -f /usr/share/lurn/lurn-server-setup.sql
-- Then add one login role per station (see lurn_add_station at the end) and
-- give the counter's PC the role lurn_counter (or a login role IN ROLE lurn_counter).
--
-- What it makes:
--   lurn_owner    owns the tables; nobody logs in with it.
--   lurn_station  group role of the stations; each station logs in with its
--                 own role, tied to its station name in station_roles.
--   lurn_counter  the counter: reads everything, issues commands, writes no session.
-- A station (where a customer sits) holds no right on any table: it writes
-- its row, its sessions and its answers, and reads its own commands, only
-- through the functions of lurn-station-functions.sql (beside this file),
-- which check every value. Row-level security lets the counter read
-- everything and issue commands in its own name only. Lurn sees
-- schema_version at 3 and creates nothing.
-- Running the script again changes nothing that is already in place, and
-- brings a server set up by an earlier version (schema 1 or 2) to 3.

BEGIN;

DO $$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'lurn_owner') THEN
        CREATE ROLE lurn_owner NOLOGIN;
    END IF;
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'lurn_station') THEN
        CREATE ROLE lurn_station NOLOGIN;
    END IF;
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'lurn_counter') THEN
        CREATE ROLE lurn_counter LOGIN;
    END IF;
END
$$;

-- The tables, as Lurn's own migrations would make them (schema version 3).
CREATE TABLE IF NOT EXISTS sessions (
    id uuid PRIMARY KEY,
    station text NOT NULL,
    started_at timestamptz NOT NULL,
    ended_at timestamptz,
    planned_seconds integer NOT NULL,
    rate_per_hour integer NOT NULL,
    cost bigint NOT NULL,
    end_reason text NOT NULL CHECK (end_reason IN
        ('running', 'time_up', 'stopped', 'closed', 'interrupted')),
    last_seen_at timestamptz NOT NULL);
CREATE INDEX IF NOT EXISTS sessions_by_start ON sessions (started_at, station);
CREATE INDEX IF NOT EXISTS sessions_by_station ON sessions (station, started_at);

CREATE TABLE IF NOT EXISTS stations (
    station text PRIMARY KEY,
    host text NOT NULL DEFAULT '',
    lurn_version text NOT NULL DEFAULT '',
    state text NOT NULL CHECK (state IN ('idle','running','warning','ended','stopped')),
    session_id uuid,
    started_at timestamptz,
    planned_seconds integer,
    ends_at timestamptz,
    rate_per_hour integer,
    cost bigint,
    updated_at timestamptz NOT NULL DEFAULT now());

CREATE TABLE IF NOT EXISTS commands (
    id uuid PRIMARY KEY DEFAULT gen_random_uuid(),
    station text NOT NULL,
    kind text NOT NULL,
    hours integer, minutes integer, seconds integer,
    second_rate boolean,
    warn_minutes integer,
    add_minutes integer,
    message text,
    issued_by text NOT NULL DEFAULT current_user,
    issued_at timestamptz NOT NULL DEFAULT now(),
    expires_at timestamptz NOT NULL DEFAULT now() + interval '60 seconds',
    state text NOT NULL DEFAULT 'pending' CHECK (state IN ('pending','done','refused','expired')),
    answered_at timestamptz,
    answer text);
CREATE INDEX IF NOT EXISTS commands_pending ON commands (station) WHERE state = 'pending';

CREATE OR REPLACE FUNCTION lurn_command_issued() RETURNS trigger LANGUAGE plpgsql AS
$$BEGIN PERFORM pg_notify('lurn_commands', NEW.station); RETURN NULL; END$$;
CREATE OR REPLACE TRIGGER commands_issued AFTER INSERT ON commands
    FOR EACH ROW EXECUTE FUNCTION lurn_command_issued();
CREATE OR REPLACE FUNCTION lurn_command_answered() RETURNS trigger LANGUAGE plpgsql AS
$$BEGIN PERFORM pg_notify('lurn_answers', NEW.id::text); RETURN NULL; END$$;
CREATE OR REPLACE TRIGGER commands_answered AFTER UPDATE OF state ON commands
    FOR EACH ROW WHEN (OLD.state IS DISTINCT FROM NEW.state)
    EXECUTE FUNCTION lurn_command_answered();

CREATE TABLE IF NOT EXISTS schema_version (version integer NOT NULL);

-- The station's functions, and station_roles: which login role is which
-- station. A station's name is the one tied to the role it logs in with,
-- whatever its Puesto setting says.
\ir lurn-station-functions.sql

DELETE FROM schema_version;
INSERT INTO schema_version (version) VALUES (3);

ALTER TABLE sessions OWNER TO lurn_owner;
ALTER TABLE stations OWNER TO lurn_owner;
ALTER TABLE commands OWNER TO lurn_owner;
ALTER TABLE schema_version OWNER TO lurn_owner;
ALTER TABLE station_roles OWNER TO lurn_owner;
ALTER FUNCTION lurn_command_issued() OWNER TO lurn_owner;
ALTER FUNCTION lurn_command_answered() OWNER TO lurn_owner;
-- The functions run as the owner, which owns the tables they write.
ALTER FUNCTION lurn_station_name() OWNER TO lurn_owner;
ALTER FUNCTION lurn_caller_station(text) OWNER TO lurn_owner;
ALTER FUNCTION lurn_check_numbers(integer, integer, bigint) OWNER TO lurn_owner;
ALTER FUNCTION lurn_check_time(text, timestamptz) OWNER TO lurn_owner;
ALTER FUNCTION lurn_schema_version() OWNER TO lurn_owner;
ALTER FUNCTION lurn_write_station(text, text, text, text, uuid, timestamptz, integer,
    double precision, integer, bigint) OWNER TO lurn_owner;
ALTER FUNCTION lurn_write_session(uuid, text, timestamptz, timestamptz, integer, integer,
    bigint, text, timestamptz) OWNER TO lurn_owner;
ALTER FUNCTION lurn_pending_commands(text) OWNER TO lurn_owner;
ALTER FUNCTION lurn_answer_command(text, uuid, text, text) OWNER TO lurn_owner;
GRANT EXECUTE ON FUNCTION lurn_station_name(), lurn_schema_version() TO lurn_station, lurn_counter;
GRANT EXECUTE ON FUNCTION
    lurn_write_station(text, text, text, text, uuid, timestamptz, integer, double precision,
                       integer, bigint),
    lurn_write_session(uuid, text, timestamptz, timestamptz, integer, integer, bigint, text,
                       timestamptz),
    lurn_pending_commands(text), lurn_answer_command(text, uuid, text, text)
    TO lurn_station;

-- Not a single table right for a station: not even SELECT, with which it could
-- take ACCESS SHARE locks that hold up a migration. What a server of version
-- 2 granted is taken back here.
REVOKE ALL ON sessions, stations, commands, schema_version, station_roles FROM PUBLIC;
REVOKE ALL ON sessions, stations, commands, schema_version, station_roles FROM lurn_station;
GRANT SELECT ON schema_version TO lurn_counter;
GRANT SELECT ON sessions, stations, commands, station_roles TO lurn_counter;
GRANT INSERT ON commands TO lurn_counter;

-- The owner, whose functions do the stations' writing, is not bound by the
-- policies; everyone else is.
ALTER TABLE sessions ENABLE ROW LEVEL SECURITY;
ALTER TABLE sessions NO FORCE ROW LEVEL SECURITY;
ALTER TABLE stations ENABLE ROW LEVEL SECURITY;
ALTER TABLE stations NO FORCE ROW LEVEL SECURITY;
ALTER TABLE commands ENABLE ROW LEVEL SECURITY;
ALTER TABLE commands NO FORCE ROW LEVEL SECURITY;

DROP POLICY IF EXISTS station_reads ON sessions;
DROP POLICY IF EXISTS station_adds ON sessions;
DROP POLICY IF EXISTS station_changes ON sessions;
DROP POLICY IF EXISTS counter_reads ON sessions;
CREATE POLICY counter_reads ON sessions FOR SELECT TO lurn_counter USING (true);

DROP POLICY IF EXISTS station_reads ON stations;
DROP POLICY IF EXISTS station_adds ON stations;
DROP POLICY IF EXISTS station_changes ON stations;
DROP POLICY IF EXISTS counter_reads ON stations;
CREATE POLICY counter_reads ON stations FOR SELECT TO lurn_counter USING (true);

DROP POLICY IF EXISTS station_reads ON commands;
DROP POLICY IF EXISTS station_answers ON commands;
DROP POLICY IF EXISTS station_adds ON commands;
DROP POLICY IF EXISTS station_changes ON commands;
DROP POLICY IF EXISTS counter_reads ON commands;
DROP POLICY IF EXISTS counter_issues ON commands;
CREATE POLICY counter_reads ON commands FOR SELECT TO lurn_counter USING (true);
-- A command is issued pending, in the issuer's own name.
CREATE POLICY counter_issues ON commands FOR INSERT TO lurn_counter
    WITH CHECK (state = 'pending' AND answered_at IS NULL AND answer IS NULL
                AND issued_by = session_user);

-- Adding a station: a login role in the group, tied to the station's name
-- (its Puesto setting). Run as the administrator, for example
--     SELECT lurn_add_station('lurn_pc01', 'PC01');
--     ALTER ROLE lurn_pc01 PASSWORD '...';
-- and put that password in the station's ~/.pgpass, readable by the
-- station's account only (chmod 600):
--     caja.local:5432:cafe:lurn_pc01:...
-- The same by hand:
--     CREATE ROLE lurn_pc01 LOGIN CONNECTION LIMIT 6 IN ROLE lurn_station;
--     INSERT INTO station_roles (role, station) VALUES ('lurn_pc01', 'PC01');
CREATE OR REPLACE FUNCTION lurn_add_station(login name, station_name text) RETURNS void
    LANGUAGE plpgsql SET search_path = pg_catalog, public AS
$$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = login) THEN
        EXECUTE format('CREATE ROLE %I LOGIN', login);
    END IF;
    EXECUTE format('GRANT lurn_station TO %I', login);
    -- Lurn holds two connections (the link and the records) and a third
    -- while the report window is open: one station cannot use up the
    -- server's max_connections. Its statements, and a transaction left
    -- open, end by themselves (a client may lower these, or raise them only
    -- for its own session, whose locks reach only its own rows).
    EXECUTE format('ALTER ROLE %I CONNECTION LIMIT 6', login);
    EXECUTE format('ALTER ROLE %I SET statement_timeout = %L', login, '10s');
    EXECUTE format('ALTER ROLE %I SET lock_timeout = %L', login, '3s');
    EXECUTE format('ALTER ROLE %I SET idle_in_transaction_session_timeout = %L', login, '15s');
    INSERT INTO public.station_roles (role, station) VALUES (login, station_name)
        ON CONFLICT (role) DO UPDATE SET station = excluded.station;
END
$$;
REVOKE ALL ON FUNCTION lurn_add_station(name, text) FROM PUBLIC;

-- Stations added by an earlier version of this script get the same bounds,
-- unless the administrator has set a connection limit of their own.
DO $$
DECLARE
    login name;
BEGIN
    FOR login IN SELECT r.rolname FROM public.station_roles s
                 JOIN pg_roles r ON r.rolname = s.role WHERE r.rolconnlimit = -1 LOOP
        EXECUTE format('ALTER ROLE %I CONNECTION LIMIT 6', login);
        EXECUTE format('ALTER ROLE %I SET statement_timeout = %L', login, '10s');
        EXECUTE format('ALTER ROLE %I SET lock_timeout = %L', login, '3s');
        EXECUTE format('ALTER ROLE %I SET idle_in_transaction_session_timeout = %L', login,
                       '15s');
    END LOOP;
END
$$;

COMMIT;

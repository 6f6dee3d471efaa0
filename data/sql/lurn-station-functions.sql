-- Lurn: the functions through which a station writes to the café's server.
--
-- A station's role is only as secret as the customer's account it runs in,
-- so it owns no right on any table: it reports its state, its sessions and
-- its answers through these functions, which run as the tables' owner, take
-- the station from the role, check every value and keep the takings sound
-- (a session's start never moves, its cost never goes down, an ended session
-- never changes, end_reason only moves forward).
--
-- Part of the schema's version 3. Lurn runs this file itself when one role
-- owns the database (the shared-role mode); lurn-server-setup.sql includes
-- it for a server with per-station roles. Every refusal raises a message
-- that begins with "lurn:", with SQLSTATE 42501 (another station's row or
-- name), 22023 / 22003 / 22008 / 22001 (a value out of its range) or 23514
-- (a change the rules forbid).

CREATE TABLE IF NOT EXISTS station_roles (
    role name PRIMARY KEY,
    station text UNIQUE NOT NULL);

-- The station of the role asking; nothing for any other role. It runs as the
-- owner, so that stations need no right on station_roles.
CREATE OR REPLACE FUNCTION lurn_station_name() RETURNS text
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, public AS
$$SELECT station FROM public.station_roles WHERE role = session_user$$;

-- The station a call speaks for: the one tied to the role that logged in, and
-- the name the caller gives must be that one. A role tied to no station (the
-- shared-role mode's owner) speaks for the name it gives; a member of
-- lurn_station tied to none speaks for nobody.
CREATE OR REPLACE FUNCTION lurn_caller_station(claimed text) RETURNS text
    LANGUAGE plpgsql STABLE SECURITY DEFINER SET search_path = pg_catalog, public AS
$$
DECLARE
    tied text := (SELECT station FROM public.station_roles WHERE role = session_user);
BEGIN
    IF tied IS NOT NULL THEN
        IF claimed IS DISTINCT FROM tied THEN
            RAISE EXCEPTION USING ERRCODE = '42501', MESSAGE = format(
                'lurn: the role %s is the station %s, not %s', session_user, tied, claimed);
        END IF;
        RETURN tied;
    END IF;
    IF EXISTS (SELECT FROM pg_roles WHERE rolname = 'lurn_station')
       AND pg_has_role(session_user, 'lurn_station', 'MEMBER') THEN
        RAISE EXCEPTION USING ERRCODE = '42501', MESSAGE = format(
            'lurn: the role %s is tied to no station (see lurn_add_station)', session_user);
    END IF;
    IF claimed IS NULL OR length(claimed) NOT BETWEEN 1 AND 64 THEN
        RAISE EXCEPTION USING ERRCODE = '22023',
            MESSAGE = 'lurn: a station''s name is 1 to 64 characters';
    END IF;
    RETURN claimed;
END
$$;

-- The countdown's numbers as the program can make them: a length within a
-- day, a rate of the rate fields' range, and a cost between nothing and the
-- whole length at that rate (rounded half away from zero, as the program
-- prices it). A NULL is not checked (an idle station has no numbers).
CREATE OR REPLACE FUNCTION lurn_check_numbers(planned integer, rate integer, cost bigint)
    RETURNS void LANGUAGE plpgsql IMMUTABLE SET search_path = pg_catalog, public AS
$$
BEGIN
    IF planned IS NOT NULL AND planned NOT BETWEEN 0 AND 86399 THEN
        RAISE EXCEPTION USING ERRCODE = '22003', MESSAGE = format(
            'lurn: planned_seconds %s is not within 0 and 86399', planned);
    END IF;
    IF rate IS NOT NULL AND rate NOT BETWEEN 1 AND 100000 THEN
        RAISE EXCEPTION USING ERRCODE = '22003', MESSAGE = format(
            'lurn: rate_per_hour %s is not within 1 and 100000', rate);
    END IF;
    IF cost IS NOT NULL AND cost < 0 THEN
        RAISE EXCEPTION USING ERRCODE = '22003',
            MESSAGE = format('lurn: cost %s is negative', cost);
    END IF;
    IF cost IS NOT NULL AND planned IS NOT NULL AND rate IS NOT NULL
       AND cost > round(planned::numeric * rate / 3600) THEN
        RAISE EXCEPTION USING ERRCODE = '22003', MESSAGE = format(
            'lurn: cost %s is more than %s seconds at %s an hour', cost, planned, rate);
    END IF;
END
$$;

-- A time a station may write: finite, and not past tomorrow (a clock far
-- ahead, or a forged row meant to sort after everything). A time long past
-- is let through: a PC whose clock battery died still reports its state.
CREATE OR REPLACE FUNCTION lurn_check_time(what text, t timestamptz) RETURNS void
    LANGUAGE plpgsql STABLE SET search_path = pg_catalog, public AS
$$
BEGIN
    IF t IS NOT NULL AND (NOT isfinite(t) OR t > now() + interval '1 day') THEN
        RAISE EXCEPTION USING ERRCODE = '22008',
            MESSAGE = format('lurn: %s %s is not a time a station can write', what, t);
    END IF;
END
$$;

-- The schema's version, for a role that may read no table.
CREATE OR REPLACE FUNCTION lurn_schema_version() RETURNS integer
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, public AS
$$SELECT coalesce(max(version), 0) FROM public.schema_version$$;

-- The station's row: its state now, written at every change and every 15 s.
-- ends_at is the server's now() plus the time left by the station's own
-- countdown, so a station's wrong clock does not show.
CREATE OR REPLACE FUNCTION lurn_write_station(station_name text, host_name text,
        program_version text, new_state text, new_session uuid, new_started_at timestamptz,
        new_planned integer, seconds_left double precision, new_rate integer, new_cost bigint)
    RETURNS void LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, public AS
$$
DECLARE
    me text := public.lurn_caller_station(station_name);
BEGIN
    IF length(host_name) > 255 OR length(program_version) > 64 THEN
        RAISE EXCEPTION USING ERRCODE = '22001',
            MESSAGE = 'lurn: a host name is at most 255 characters, a version 64';
    END IF;
    IF new_state IS NULL OR new_state NOT IN ('idle', 'running', 'warning', 'ended', 'stopped') THEN
        RAISE EXCEPTION USING ERRCODE = '22023',
            MESSAGE = format('lurn: %s is not a station''s state', new_state);
    END IF;
    PERFORM public.lurn_check_time('started_at', new_started_at);
    IF seconds_left IS NOT NULL AND NOT (seconds_left >= 0 AND seconds_left <= 86400) THEN
        RAISE EXCEPTION USING ERRCODE = '22003',
            MESSAGE = format('lurn: %s seconds left is not within a day', seconds_left);
    END IF;
    PERFORM public.lurn_check_numbers(new_planned, new_rate, new_cost);
    INSERT INTO public.stations AS s (station, host, lurn_version, state, session_id,
            started_at, planned_seconds, ends_at, rate_per_hour, cost, updated_at)
        VALUES (me, coalesce(host_name, ''), coalesce(program_version, ''), new_state,
            new_session, new_started_at, new_planned,
            now() + make_interval(secs => seconds_left), new_rate, new_cost, now())
        ON CONFLICT (station) DO UPDATE SET host = excluded.host,
            lurn_version = excluded.lurn_version, state = excluded.state,
            session_id = excluded.session_id, started_at = excluded.started_at,
            planned_seconds = excluded.planned_seconds, ends_at = excluded.ends_at,
            rate_per_hour = excluded.rate_per_hour, cost = excluded.cost, updated_at = now();
    PERFORM pg_notify('lurn_stations', me);
END
$$;

-- One session record, sent again at every change: a new one is added, a
-- known one of the same station moves forward only. A cost lower than the
-- one stored is kept at the stored one rather than refused: the operator may
-- choose the cheaper rate in the middle of a session, and a refusal would set
-- the whole record aside, so that the server never learnt how the session
-- ended. The takings never go down from a station; a discount is given at
-- the counter.
CREATE OR REPLACE FUNCTION lurn_write_session(session uuid, station_name text,
        new_started_at timestamptz, new_ended_at timestamptz, new_planned integer,
        new_rate integer, new_cost bigint, new_reason text, new_last_seen timestamptz)
    RETURNS void LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, public AS
$$
DECLARE
    me text := public.lurn_caller_station(station_name);
    old public.sessions;
BEGIN
    IF session IS NULL OR new_started_at IS NULL OR new_last_seen IS NULL
       OR new_planned IS NULL OR new_rate IS NULL OR new_cost IS NULL THEN
        RAISE EXCEPTION USING ERRCODE = '22004', MESSAGE = 'lurn: a session''s value is missing';
    END IF;
    IF new_reason IS NULL
       OR new_reason NOT IN ('running', 'time_up', 'stopped', 'closed', 'interrupted') THEN
        RAISE EXCEPTION USING ERRCODE = '22023',
            MESSAGE = format('lurn: %s is not a session''s end', new_reason);
    END IF;
    PERFORM public.lurn_check_time('started_at', new_started_at);
    PERFORM public.lurn_check_time('ended_at', new_ended_at);
    PERFORM public.lurn_check_time('last_seen_at', new_last_seen);
    IF (new_reason = 'running') <> (new_ended_at IS NULL) THEN
        RAISE EXCEPTION USING ERRCODE = '22023',
            MESSAGE = 'lurn: a running session has no end, an ended one has one';
    END IF;
    IF new_ended_at NOT BETWEEN new_started_at AND new_started_at + interval '1 day'
       OR new_last_seen < new_started_at THEN
        RAISE EXCEPTION USING ERRCODE = '22008',
            MESSAGE = 'lurn: a session ends within a day after its start';
    END IF;
    PERFORM public.lurn_check_numbers(new_planned, new_rate, new_cost);

    INSERT INTO public.sessions (id, station, started_at, ended_at, planned_seconds,
            rate_per_hour, cost, end_reason, last_seen_at)
        VALUES (session, me, new_started_at, new_ended_at, new_planned, new_rate, new_cost,
            new_reason, new_last_seen)
        ON CONFLICT (id) DO NOTHING;
    IF FOUND THEN
        RETURN;
    END IF;
    SELECT * INTO old FROM public.sessions s WHERE s.id = session FOR UPDATE;
    IF old.station <> me THEN
        RAISE EXCEPTION USING ERRCODE = '42501', MESSAGE = format(
            'lurn: the session %s is of another station, not %s', session, me);
    END IF;
    new_cost := greatest(new_cost, old.cost);
    IF old.end_reason <> 'running' THEN
        -- The same state sent again is no change.
        IF (old.started_at, old.ended_at, old.planned_seconds, old.rate_per_hour, old.cost,
            old.end_reason, old.last_seen_at) IS NOT DISTINCT FROM
           (new_started_at, new_ended_at, new_planned, new_rate, new_cost, new_reason,
            new_last_seen) THEN
            RETURN;
        END IF;
        RAISE EXCEPTION USING ERRCODE = '23514', MESSAGE = format(
            'lurn: the session %s has ended (%s) and never changes', session, old.end_reason);
    END IF;
    IF new_started_at <> old.started_at THEN
        RAISE EXCEPTION USING ERRCODE = '23514',
            MESSAGE = format('lurn: the start of the session %s never moves', session);
    END IF;
    UPDATE public.sessions SET ended_at = new_ended_at, planned_seconds = new_planned,
            rate_per_hour = new_rate, cost = new_cost, end_reason = new_reason,
            last_seen_at = new_last_seen
        WHERE id = session;
END
$$;

-- The station's orders still pending, oldest first. Whether one has expired,
-- and the time it has left, come from the server's clock.
CREATE OR REPLACE FUNCTION lurn_pending_commands(station_name text)
    RETURNS TABLE (id uuid, kind text, hours integer, minutes integer, seconds integer,
                   second_rate boolean, warn_minutes integer, add_minutes integer,
                   message text, issued_by text, issued_at timestamptz, expired boolean,
                   ms_left bigint, station text)
    LANGUAGE plpgsql STABLE SECURITY DEFINER SET search_path = pg_catalog, public AS
$$
DECLARE
    me text := public.lurn_caller_station(station_name);
BEGIN
    RETURN QUERY
        SELECT c.id, c.kind, c.hours, c.minutes, c.seconds, c.second_rate, c.warn_minutes,
               c.add_minutes, c.message, c.issued_by, c.issued_at, c.expires_at <= now(),
               floor(extract(epoch FROM c.expires_at - now()) * 1000)::bigint, c.station
        FROM public.commands c
        WHERE c.station = me AND c.state = 'pending'
        ORDER BY c.issued_at, c.id;
END
$$;

-- The station's answer to one of its pending orders; false when it was not
-- pending (answered before).
CREATE OR REPLACE FUNCTION lurn_answer_command(station_name text, command uuid, outcome text,
        why text)
    RETURNS boolean LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, public AS
$$
DECLARE
    me text := public.lurn_caller_station(station_name);
BEGIN
    IF outcome IS NULL OR outcome NOT IN ('done', 'refused', 'expired') THEN
        RAISE EXCEPTION USING ERRCODE = '22023',
            MESSAGE = format('lurn: %s is not an answer', outcome);
    END IF;
    IF length(why) > 500 THEN
        RAISE EXCEPTION USING ERRCODE = '22001', MESSAGE = 'lurn: an answer is at most 500 characters';
    END IF;
    UPDATE public.commands c SET state = outcome, answered_at = now(), answer = why
        WHERE c.id = command AND c.station = me AND c.state = 'pending';
    RETURN FOUND;
END
$$;

REVOKE ALL ON FUNCTION lurn_station_name(), lurn_caller_station(text),
    lurn_check_numbers(integer, integer, bigint), lurn_check_time(text, timestamptz),
    lurn_schema_version(),
    lurn_write_station(text, text, text, text, uuid, timestamptz, integer, double precision,
                       integer, bigint),
    lurn_write_session(uuid, text, timestamptz, timestamptz, integer, integer, bigint, text,
                       timestamptz),
    lurn_pending_commands(text), lurn_answer_command(text, uuid, text, text)
    FROM PUBLIC;

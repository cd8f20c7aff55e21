#!/usr/bin/env escript
%% -*- erlang -*-
%%! -noshell
%%
%% The Erlang reference rate of the codec benchmark: times aligned-PER encode
%% and decode of the same messages as bench_codec, with Erlang's compiled copy
%% of the schema (erlc -bper +maps of the oracle's messages.set.asn).
%%
%%   oracle_bench.escript BeamDir MessagesFile Iterations
%%
%% MessagesFile holds "name hex" lines (bench_codec --dump-messages=FILE).
%% Each message is decoded to an Erlang value and encoded again; the result
%% must be the same octets, so both implementations time the same value.
%% Prints one JSON object per message: nanoseconds per encode and per
%% decode, the median of five timed runs after a warm-up run.

%% Compiled, not interpreted: the timing loops must cost next to nothing.
-mode(compile).

main([BeamDir, MessagesFile, Iterations]) ->
    true = code:add_patha(BeamDir),
    {module, messages} = code:ensure_loaded(messages),
    {ok, Text} = file:read_file(MessagesFile),
    N = list_to_integer(Iterations),
    Lines = [L || L <- string:split(binary_to_list(Text), "\n", all), L =/= ""],
    Results = [bench(string:split(L, " "), N) || L <- Lines],
    case lists:all(fun(R) -> R end, Results) of
        true -> ok;
        false -> halt(1)
    end;
main(_) ->
    io:format(standard_error, "usage: oracle_bench.escript BeamDir MessagesFile Iterations~n", []),
    halt(2).

%% The oracle copy renames a type whose name another module also uses.
message_type(Bin) ->
    Candidates = ['MessageLGCP', 'Message'],
    Found = [{T, V} || T <- Candidates, {ok, V} <- [catch messages:decode(T, Bin)]],
    case Found of
        [{T, V} | _] -> {ok, T, V};
        [] -> error
    end.

bench([Name, Hex], N) ->
    Bin = unhex(Hex),
    case message_type(Bin) of
        {ok, Type, Value} ->
            Same = (catch messages:encode(Type, Value)) =:= {ok, Bin},
            Enc = time_per_op(fun() -> encode_loop(Type, Value, N) end, N),
            Dec = time_per_op(fun() -> decode_loop(Type, Bin, N) end, N),
            io:format("{\"message\":\"~s\",\"encode_ns\":~.1f,\"decode_ns\":~.1f,"
                      "\"same_octets\":~s,\"iterations\":~b}~n",
                      [Name, Enc, Dec, Same, N]),
            Same;
        error ->
            io:format("{\"message\":\"~s\",\"error\":\"the oracle does not decode it\"}~n", [Name]),
            false
    end;
bench(_, _) ->
    false.

time_per_op(Fun, N) ->
    Fun(),
    Runs = lists:sort([begin
                           T0 = erlang:monotonic_time(nanosecond),
                           Fun(),
                           erlang:monotonic_time(nanosecond) - T0
                       end || _ <- lists:seq(1, 5)]),
    lists:nth(3, Runs) / N.

encode_loop(_Type, _Value, 0) -> ok;
encode_loop(Type, Value, N) ->
    {ok, _} = messages:encode(Type, Value),
    encode_loop(Type, Value, N - 1).

decode_loop(_Type, _Bin, 0) -> ok;
decode_loop(Type, Bin, N) ->
    {ok, _} = messages:decode(Type, Bin),
    decode_loop(Type, Bin, N - 1).

unhex([]) -> <<>>;
unhex([A, B | Rest]) ->
    <<(list_to_integer([A, B], 16)), (unhex(Rest))/binary>>.

#!/usr/bin/env escript
%% -*- erlang -*-
%%! -noshell
%%
%% Codec oracle over Erlang's ASN.1 compiler, for the C++ codec tests: the
%% independent implementation both the ASN.1 runtime's and the messages'
%% property tests compare with. The schemas are compiled beforehand (erlc
%% -bper or -bber, +maps -o BeamDir X.asn); the rule is the compiled module's.
%%
%%   per_oracle.escript BeamDir Module [ValueModule [MaxList]]
%%       Commands on stdin, one per line, so that one run serves a whole test:
%%         gen Type Count Seed   up to Count seeded random values of Type, one
%%                               hex encoding a line, then a line "."
%%         re Type Hex           decode, encode again: the new hex, or "ERROR"
%%                               and a reason; Type may be Module:Type, a
%%                               module compiled beside Module
%%       Values are drawn from ValueModule (default Module), a copy of the
%%       same types that may be stricter, and encoded by Module. Values that
%%       Module does not decode back to the same octets, and values beyond the
%%       C++ decoder's limits (octet strings above 16384 octets; lists above
%%       MaxList elements, where strings are lists too), are dropped, so fewer
%%       lines may come.

-mode(compile).

main([BeamDir, Module]) -> main([BeamDir, Module, Module]);
main([BeamDir, Module, ValueModule]) -> main([BeamDir, Module, ValueModule, "16384"]);
main([BeamDir, Module, ValueModule, MaxList]) ->
    put(max_list, list_to_integer(MaxList)),
    true = code:add_patha(BeamDir),
    %% The type databases (Module.asn1db) are read from the cwd.
    ok = file:set_cwd(BeamDir),
    M = load(Module),
    %% asn1ct:value/2 draws in a process of its own, out of reach of the seed,
    %% and loads the database for every value: load it here once and draw in
    %% this process instead.
    asn1_db:dbstart([]),
    V = load(ValueModule),
    ok = asn1_db:dbload(V),
    batch(M, V);
main(_) ->
    io:format(standard_error, "usage: per_oracle.escript BeamDir Module [ValueModule [MaxList]]~n", []),
    halt(2).

load(Name) ->
    M = list_to_atom(Name),
    {module, M} = code:ensure_loaded(M),
    M.

batch(M, V) ->
    case io:get_line("") of
        eof -> ok;
        Line ->
            case string:lexemes(string:trim(Line), " ") of
                ["gen", T, Count, Seed] ->
                    S = list_to_integer(Seed),
                    rand:seed(exsss, {S + 1, S * 7 + 3, S * 13 + 5}),
                    C = list_to_integer(Count),
                    gen(M, V, list_to_atom(T), C, 4 * C),
                    io:format(".~n");
                ["re", T | Hex] ->
                    {RM, RT} = case string:split(T, ":") of
                                   [Mod, Type] -> {load(Mod), list_to_atom(Type)};
                                   _ -> {M, list_to_atom(T)}
                               end,
                    io:format("~s~n", [reencode(RM, RT, lists:append(Hex))]);
                _ ->
                    io:format("ERROR bad command~n")
            end,
            batch(M, V)
    end.

gen(_M, _V, _T, 0, _Tries) -> ok;
gen(_M, _V, _T, _Left, 0) -> ok;
gen(M, V, T, Left, Tries) ->
    Value = asn1ct_value:from_type(V, T),
    Hex = case within_limits(Value) andalso M:encode(T, Value) of
              {ok, Bin} -> hex(Bin);
              _ -> skipped
          end,
    case Hex =/= skipped andalso lists:flatten(reencode(M, T, Hex)) =:= Hex of
        true ->
            io:format("~s~n", [Hex]),
            gen(M, V, T, Left - 1, Tries - 1);
        false ->
            gen(M, V, T, Left, Tries - 1)
    end.

within_limits(X) when is_list(X) -> length(X) =< get(max_list) andalso lists:all(fun within_limits/1, X);
within_limits(X) when is_binary(X) -> byte_size(X) =< 16384;
within_limits(X) when is_map(X) -> lists:all(fun within_limits/1, maps:values(X));
within_limits(X) when is_tuple(X) -> lists:all(fun within_limits/1, tuple_to_list(X));
within_limits(_) -> true.

reencode(M, T, Hex) ->
    try M:decode(T, unhex(Hex)) of
        {ok, V} ->
            case M:encode(T, V) of
                {ok, Out} -> hex(Out);
                E1 -> io_lib:format("ERROR encode ~0p", [E1])
            end;
        E2 -> io_lib:format("ERROR decode ~0p", [E2])
    catch
        C:R -> io_lib:format("ERROR ~0p:~0p", [C, R])
    end.

hex(Bin) -> lists:flatten([io_lib:format("~2.16.0B", [B]) || <<B>> <= Bin]).

unhex([]) -> <<>>;
unhex([A, B | Rest]) -> <<(list_to_integer([A, B], 16)), (unhex(Rest))/binary>>.

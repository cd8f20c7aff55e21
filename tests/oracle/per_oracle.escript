#!/usr/bin/env escript
%% -*- erlang -*-
%%! -noshell
%%
%% Codec oracle over Erlang's ASN.1 compiler, for the C++ codec tests. The
%% schemas are compiled beforehand (erlc -bper or -bber, +maps -o BeamDir X.asn);
%% the rule is the compiled module's.
%%
%%   per_oracle.escript BeamDir gen Module Type Count Seed
%%       Count seeded random values of Type (as asn1ct:value/2 makes them),
%%       one hex encoding per line. Values that Erlang's own codec cannot
%%       decode back to the same octets are dropped, so fewer lines may come.
%%   per_oracle.escript BeamDir reencode Module Type
%%       For each hex line on stdin: decode, encode again, and print the new
%%       hex encoding, or "ERROR" and a reason.
%%   per_oracle.escript BeamDir batch Module
%%       Commands on stdin, one per line, so that one run serves a whole test:
%%         gen Type Count Seed   the gen lines, then a line "."
%%         re Type Hex           one reencode line

main([BeamDir, "gen", Module, Type, Count, Seed]) ->
    M = load(BeamDir, Module),
    gen(M, list_to_atom(Type), list_to_integer(Count), list_to_integer(Seed));
main([BeamDir, "reencode", Module, Type]) ->
    M = load(BeamDir, Module),
    reencode(M, list_to_atom(Type));
main([BeamDir, "batch", Module]) ->
    M = load(BeamDir, Module),
    batch(M);
main(_) ->
    io:format(standard_error,
              "usage: per_oracle.escript BeamDir gen|reencode|batch Module [Type [Count Seed]]~n", []),
    halt(2).

load(BeamDir, Module) ->
    true = code:add_patha(BeamDir),
    %% The type database (Module.asn1db) is read from the cwd.
    ok = file:set_cwd(BeamDir),
    M = list_to_atom(Module),
    {module, M} = code:ensure_loaded(M),
    %% asn1ct:value/2 draws in a process of its own, out of reach of the seed:
    %% load the type database here and draw in this process instead.
    asn1_db:dbstart([]),
    ok = asn1_db:dbload(M),
    M.

gen(M, T, Count, Seed) ->
    rand:seed(exsss, {Seed + 1, Seed * 7 + 3, Seed * 13 + 5}),
    gen(M, T, Count).

gen(_M, _T, 0) -> ok;
gen(M, T, N) ->
    V = asn1ct_value:from_type(M, T),
    case M:encode(T, V) of
        {ok, Bin} ->
            Hex = hex(Bin),
            case lists:flatten(reencode_line(M, T, Hex)) of
                Hex -> io:format("~s~n", [Hex]);
                _ -> skipped
            end;
        _ -> skipped
    end,
    gen(M, T, N - 1).

reencode(M, T) ->
    case io:get_line("") of
        eof -> ok;
        Line ->
            io:format("~s~n", [reencode_line(M, T, string:trim(Line))]),
            reencode(M, T)
    end.

batch(M) ->
    case io:get_line("") of
        eof -> ok;
        Line ->
            case string:lexemes(string:trim(Line), " ") of
                ["gen", T, Count, Seed] ->
                    gen(M, list_to_atom(T), list_to_integer(Count), list_to_integer(Seed)),
                    io:format(".~n");
                ["re", T, Hex] ->
                    io:format("~s~n", [reencode_line(M, list_to_atom(T), Hex)]);
                ["re", T] ->
                    io:format("~s~n", [reencode_line(M, list_to_atom(T), "")]);
                _ ->
                    io:format("ERROR bad command~n")
            end,
            batch(M)
    end.

reencode_line(M, T, Hex) ->
    try
        Bin = unhex(Hex),
        case M:decode(T, Bin) of
            {ok, V} ->
                case M:encode(T, V) of
                    {ok, Out} -> hex(Out);
                    E1 -> io_lib:format("ERROR encode ~0p", [E1])
                end;
            E2 -> io_lib:format("ERROR decode ~0p", [E2])
        end
    catch
        C:R -> io_lib:format("ERROR ~0p:~0p", [C, R])
    end.

hex(Bin) -> lists:flatten([io_lib:format("~2.16.0B", [B]) || <<B>> <= Bin]).

unhex([]) -> <<>>;
unhex([A, B | Rest]) ->
    <<(list_to_integer([A, B], 16)), (unhex(Rest))/binary>>.

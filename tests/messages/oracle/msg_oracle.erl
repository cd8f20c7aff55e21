%% Erlang side of the message property tests: an independent aligned-PER
%% implementation (asn1ct over the standard copy of the schema, compiled
%% into the module `messages`).
%%
%%   gen Seed Count TypesFile OutFile
%%       for each type named in TypesFile (one oracle type name a line),
%%       Count random values (asn1ct's value generator, seeded), each written to
%%       OutFile as "Type Hex" where Hex is its aligned-PER encoding. Values
%%       beyond the C++ decoder's limits (lists above 128 elements, strings
%%       above 16384 characters or octets) are skipped.
%%   check InFile OutFile
%%       for each line "Type Hex" of InFile, decodes Hex as Type and encodes
%%       the value again; writes "ok", or "bad " and the reason, a line each.
%%
%% Both end the runtime with status 0 when they ran to the end, 1 otherwise.
-module(msg_oracle).
-export([main/1]).

main(["gen", Seed, Count, TypesFile, OutFile]) ->
    run(fun() -> gen(list_to_integer(Seed), list_to_integer(Count),
                     TypesFile, OutFile) end);
main(["check", InFile, OutFile]) ->
    run(fun() -> check(InFile, OutFile) end);
main(Args) ->
    io:format(standard_error, "msg_oracle: bad arguments ~p~n", [Args]),
    halt(2).

run(Fun) ->
    try Fun() of
        ok -> halt(0)
    catch Class:Reason:Stack ->
        io:format(standard_error, "msg_oracle: ~p:~p~n~p~n", [Class, Reason, Stack]),
        halt(1)
    end.

lines(File) ->
    {ok, Bin} = file:read_file(File),
    [L || L <- string:split(binary_to_list(Bin), "\n", all), L =/= ""].

gen(Seed, Count, TypesFile, OutFile) ->
    rand:seed(exsss, {Seed, Seed * 7 + 1, Seed * 13 + 5}),
    Types = lines(TypesFile),
    Out = [gen_type(list_to_atom(T), Count) || T <- Types],
    ok = file:write_file(OutFile, Out).

gen_type(Type, Count) ->
    gen_type(Type, Count, 4 * Count, []).

gen_type(_Type, 0, _Tries, Acc) -> lists:reverse(Acc);
gen_type(_Type, _Left, 0, Acc) -> lists:reverse(Acc);
gen_type(Type, Left, Tries, Acc) ->
    Value = random_value(Type),
    case within_limits(Value) of
        true ->
            {ok, Bin} = messages:encode(Type, Value),
            Line = [atom_to_list(Type), " ", hex(Bin), "\n"],
            gen_type(Type, Left - 1, Tries - 1, [Line | Acc]);
        false ->
            gen_type(Type, Left, Tries - 1, Acc)
    end.

%% Enumerations that this system numbers other than 0..n-1 are INTEGER
%% (0..max, ...) in the copy, and there the two encodings agree only in the
%% root, while asn1ct:value/2 likes numbers beyond it. So values come from
%% the strict copy (module messages_strict: the same types without those
%% extension markers) and are encoded by the real one.
%%
%% asn1ct:value/2 loads the type database for every value (seconds for a
%% few thousand values); its own steps, taken once, do the same: open the
%% database in the working directory, load the module's, and make values
%% with asn1ct_value:from_type/2 (what asn1ct:value/2 calls).
random_value(Type) ->
    case get(asn1_db_loaded) of
        undefined ->
            asn1_db:dbstart(["."]),
            ok = asn1_db:dbload(messages_strict),
            put(asn1_db_loaded, true);
        true -> ok
    end,
    asn1ct_value:from_type(messages_strict, Type).

%% Strings are lists here too, so a list longer than 128 is refused
%% whatever it holds; the string limit is far above that.
within_limits(V) when is_list(V) ->
    length(V) =< 128 andalso lists:all(fun within_limits/1, V);
within_limits(V) when is_binary(V) -> byte_size(V) =< 16384;
within_limits(V) when is_map(V) -> lists:all(fun within_limits/1, maps:values(V));
within_limits(V) when is_tuple(V) -> lists:all(fun within_limits/1, tuple_to_list(V));
within_limits(_) -> true.

check(InFile, OutFile) ->
    Out = [[check_line(L), "\n"] || L <- lines(InFile)],
    ok = file:write_file(OutFile, Out).

check_line(Line) ->
    [Type, Hex] = string:split(Line, " "),
    Bin = unhex(Hex),
    try messages:decode(list_to_atom(Type), Bin) of
        {ok, Value} -> reencode(Type, Value, Bin);
        {ok, Value, _Rest} -> reencode(Type, Value, Bin);
        Other -> io_lib:format("bad decode ~0p", [Other])
    catch Class:Reason -> io_lib:format("bad decode ~0p:~0p", [Class, Reason])
    end.

reencode(Type, Value, Bin) ->
    case messages:encode(list_to_atom(Type), Value) of
        {ok, Bin} -> "ok";
        {ok, Other} -> "bad reencoded " ++ hex(Other);
        Error -> io_lib:format("bad encode ~0p", [Error])
    end.

hex(Bin) -> [io_lib:format("~2.16.0B", [B]) || <<B>> <= Bin].

unhex(Hex) -> << <<(list_to_integer([H, L], 16))>> || [H, L] <- pairs(Hex) >>.

pairs([H, L | T]) -> [[H, L] | pairs(T)];
pairs([]) -> [].

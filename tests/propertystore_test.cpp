#include "repository/propertystore.h"

#include <map>
#include <random>

#include "foundation/platform/utf8.h"
#include "test_util.h"

namespace {

typedef std::basic_string<OLECHAR> Text;
typedef std::map<Text, Text> Model;

Model Contents(const kv::PropertyStore& store) {
    Model contents;
    for (std::size_t i = 0; i < store.Size(); ++i) {
        // In name order, each name once.
        if (i > 0) {
            EXPECT_LT(store.Name(i - 1), store.Name(i));
        }
        contents[Text(store.Name(i))] = Text(store.Value(i));
    }
    return contents;
}

std::string Utf8(const Text& text) {
    std::string utf8;
    kv::utf8::AppendFromUtf16(utf8, text.data(), text.size());
    return utf8;
}

// Random changes to a store and to a map, which must always agree: names are
// drawn from a few that share beginnings and differ in case and length, values
// may be empty or hold zeros.
TEST(PropertyStoreTest, AgreesWithAMapOfTheSameChanges) {
    const Text names[] = {OLESTR(""),     OLESTR("a"),      OLESTR("A"),
                          OLESTR("ab"),   OLESTR("abc"),    OLESTR("Key"),
                          OLESTR("KeyX"), OLESTR("\u00e9"), OLESTR("\xD800z")};
    const Text values[] = {OLESTR(""), OLESTR("1"), Text(3, OLESTR('\0')), OLESTR("value"),
                           Text(40, OLESTR('v'))};
    std::mt19937 random(7);
    auto pick = [&random](const auto& table) {
        return table[random() % (sizeof(table) / sizeof(table[0]))];
    };
    kv::PropertyStore store;
    Model model;
    kv::PropertyList list;
    for (int step = 0; step < 3000; ++step) {
        switch (random() % 6) {
            case 0:
            case 1: {
                const Text name = pick(names), value = pick(values);
                store.Set(name, value);
                model[name] = value;
                break;
            }
            case 2: {
                // A later pair of a name replaces an earlier one, whether the
                // list holds its texts or its caller keeps them (the tables).
                list.Clear();
                Model assigned;
                for (unsigned n = random() % 20; n > 0; --n) {
                    const Text& name = names[random() % (sizeof(names) / sizeof(names[0]))];
                    const Text& value = values[random() % (sizeof(values) / sizeof(values[0]))];
                    const unsigned way = random() % 3;
                    if (way == 0)
                        list.Add(Text(name), Text(value));  // copies that die here
                    else if (way == 1 || name.find(0xD800) != name.npos)
                        list.AddKept(name, value);
                    else
                        list.AddUtf8(Utf8(name), Utf8(value));  // as an index reads them
                    assigned[name] = value;
                }
                store.Assign(list);
                model = assigned;
                break;
            }
            case 3: {
                kv::PropertyStore other;
                other.Set(pick(names), pick(values));
                other.Set(pick(names), pick(values));
                store.SetAll(other);
                for (const auto& entry : Contents(other))
                    model[entry.first] = entry.second;
                break;
            }
            case 4: {
                const kv::PropertyStore copy(store);
                store = kv::PropertyStore();
                EXPECT_EQ(store.Size(), 0u);
                store = copy;
                break;
            }
            default: {
                const Text name = pick(names);
                const std::size_t at = store.Find(name);
                ASSERT_EQ(at != kv::PropertyStore::npos, model.count(name) > 0);
                if (at != kv::PropertyStore::npos) {
                    EXPECT_EQ(Text(store.Value(at)), model[name]);
                }
            }
        }
        ASSERT_EQ(Contents(store), model) << "step " << step;
    }
}

// UTF-8 pairs: ASCII, other text in the name or the value only, and a byte
// that is not UTF-8.
TEST(PropertyStoreTest, Utf8PairsAreConvertedWhereverTheirOtherTextLies) {
    kv::PropertyList list;
    list.AddUtf8("Key", "m1.msm");
    list.AddUtf8("\xC3\xA9t\xC3\xA9", "1");
    list.AddUtf8("V", "\xE2\x82\xAC \xF0\x9F\x98\x80");
    list.AddUtf8("Bad", "a\xFF");
    list.AddUtf8("", "");
    kv::PropertyStore store;
    store.Assign(list);
    EXPECT_EQ(Contents(store), (Model{{OLESTR(""), OLESTR("")},
                                      {OLESTR("Bad"), OLESTR("a\uFFFD")},
                                      {OLESTR("Key"), OLESTR("m1.msm")},
                                      {OLESTR("V"), OLESTR("\u20AC \U0001F600")},
                                      {OLESTR("\u00E9t\u00E9"), OLESTR("1")}}));
}

}  // namespace

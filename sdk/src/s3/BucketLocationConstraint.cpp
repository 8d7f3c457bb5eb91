#include <aws/s3/model/BucketLocationConstraint.h>

#include <map>
#include <mutex>

namespace Aws {
namespace S3 {
namespace Model {
namespace BucketLocationConstraintMapper {
namespace {
struct Named {
    const char* name;
    BucketLocationConstraint value;
};

const Named kNames[] = {
    {"af-south-1", BucketLocationConstraint::af_south_1},
    {"ap-east-1", BucketLocationConstraint::ap_east_1},
    {"ap-northeast-1", BucketLocationConstraint::ap_northeast_1},
    {"ap-northeast-2", BucketLocationConstraint::ap_northeast_2},
    {"ap-northeast-3", BucketLocationConstraint::ap_northeast_3},
    {"ap-south-1", BucketLocationConstraint::ap_south_1},
    {"ap-southeast-1", BucketLocationConstraint::ap_southeast_1},
    {"ap-southeast-2", BucketLocationConstraint::ap_southeast_2},
    {"ap-southeast-3", BucketLocationConstraint::ap_southeast_3},
    {"ca-central-1", BucketLocationConstraint::ca_central_1},
    {"cn-north-1", BucketLocationConstraint::cn_north_1},
    {"cn-northwest-1", BucketLocationConstraint::cn_northwest_1},
    {"EU", BucketLocationConstraint::EU},
    {"eu-central-1", BucketLocationConstraint::eu_central_1},
    {"eu-north-1", BucketLocationConstraint::eu_north_1},
    {"eu-south-1", BucketLocationConstraint::eu_south_1},
    {"eu-west-1", BucketLocationConstraint::eu_west_1},
    {"eu-west-2", BucketLocationConstraint::eu_west_2},
    {"eu-west-3", BucketLocationConstraint::eu_west_3},
    {"me-south-1", BucketLocationConstraint::me_south_1},
    {"sa-east-1", BucketLocationConstraint::sa_east_1},
    {"us-east-2", BucketLocationConstraint::us_east_2},
    {"us-gov-east-1", BucketLocationConstraint::us_gov_east_1},
    {"us-gov-west-1", BucketLocationConstraint::us_gov_west_1},
    {"us-west-1", BucketLocationConstraint::us_west_1},
    {"us-west-2", BucketLocationConstraint::us_west_2},
    {"ap-south-2", BucketLocationConstraint::ap_south_2},
    {"eu-south-2", BucketLocationConstraint::eu_south_2},
    {"us-iso-west-1", BucketLocationConstraint::us_iso_west_1},
    {"us-east-1", BucketLocationConstraint::us_east_1},
};

// The enum-overflow container: names the enumeration does not know, by their hash, so that a
// value the service returns can be turned back into its name.
struct Overflow {
    std::mutex mutex;
    std::map<int, Aws::String> names;
};

Overflow& OverflowContainer() {
    static Overflow overflow;
    return overflow;
}

// "h = c + 31 * h" over the bytes, as the upstream enum mappers hash names.
int HashName(const Aws::String& name) {
    unsigned int hash = 0;
    for (char c : name) hash = static_cast<unsigned char>(c) + 31u * hash;
    return static_cast<int>(hash);
}
}  // namespace

BucketLocationConstraint GetBucketLocationConstraintForName(const Aws::String& name) {
    if (name.empty()) return BucketLocationConstraint::NOT_SET;
    for (const auto& entry : kNames) {
        if (name == entry.name) return entry.value;
    }
    int hash = HashName(name);
    Overflow& overflow = OverflowContainer();
    std::lock_guard<std::mutex> lock(overflow.mutex);
    overflow.names[hash] = name;
    return static_cast<BucketLocationConstraint>(hash);
}

Aws::String GetNameForBucketLocationConstraint(BucketLocationConstraint value) {
    if (value == BucketLocationConstraint::NOT_SET) return {};
    for (const auto& entry : kNames) {
        if (value == entry.value) return entry.name;
    }
    Overflow& overflow = OverflowContainer();
    std::lock_guard<std::mutex> lock(overflow.mutex);
    auto it = overflow.names.find(static_cast<int>(value));
    return it != overflow.names.end() ? it->second : Aws::String();
}
}  // namespace BucketLocationConstraintMapper
}  // namespace Model
}  // namespace S3
}  // namespace Aws
